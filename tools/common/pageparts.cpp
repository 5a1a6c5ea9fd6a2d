#include "pageparts.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>

#include <memory>
#include <new>

std::string pageContent(QPDFPageObjectHelper &page)
{
    Pl_Buffer buffer("page content");
    page.pipeContents(&buffer);
    std::unique_ptr<Buffer> content(buffer.getBuffer());
    return std::string(reinterpret_cast<const char *>(content->getBuffer()), content->getSize());
}

std::vector<QPDFObjectHandle> appearanceForms(QPDFPageObjectHelper &page)
{
    std::vector<QPDFAnnotationObjectHelper> annotations;
    try {
        annotations = page.getAnnotations();
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return {};
    }
    std::vector<QPDFObjectHandle> forms;
    for (QPDFAnnotationObjectHelper &annotation : annotations) {
        try {
            QPDFObjectHandle appearance = annotation.getAppearanceStream("/N");
            if (appearance.isStream() && appearance.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
                forms.push_back(appearance);
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const std::exception &) {
            // An appearance that cannot be read is not drawn.
        }
    }
    return forms;
}
