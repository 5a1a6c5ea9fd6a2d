#ifndef OSTREL_RULEPICTURES_H
#define OSTREL_RULEPICTURES_H

#include "mupdfheld.h"
#include "rulelines.h"

#include <map>
#include <memory>
#include <string>

// The pictures a rule file names, each read and decoded once for the whole
// run, whatever the passes over the rules: a picture that cannot be read,
// is too large or is damaged refuses the run before any page changes.
class RulePictures
{
public:
    // Throws std::runtime_error naming the picture, its line and its fault.
    RulePictures(fz_context *ctx, const RuleLines &rules);

    // The picture at `path`, as a rule named it; nullptr for one no rule named.
    fz_image *at(const std::string &path) const;

private:
    static void load(fz_context *ctx, const std::string &path, fz_image **slot);

    std::map<std::string, std::unique_ptr<HeldImage>> pictures_;
};

#endif
