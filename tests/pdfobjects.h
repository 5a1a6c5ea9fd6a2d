#ifndef GRIDMOLT_TESTS_PDFOBJECTS_H
#define GRIDMOLT_TESTS_PDFOBJECTS_H

#include <cstdio>
#include <string>
#include <vector>

// A PDF of the given objects, numbered from 1 in order, with an exact
// cross-reference table; object 1 is the catalog.
inline std::string pdfFromObjects(const std::vector<std::string> &objects)
{
    std::string pdf = "%PDF-1.4\n", xref;
    char entry[32];
    for (size_t i = 0; i < objects.size(); ++i) {
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
        xref += entry;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string size = std::to_string(objects.size() + 1);
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " + size
        + " /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
}

#endif
