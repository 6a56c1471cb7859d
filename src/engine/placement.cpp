#include "engine/placement.h"

#include "engine/conditions.h"
#include "engine/nametemplate.h"
#include "platform/dirlist.h"
#include "platform/fileops.h"

namespace kb {

namespace {

std::string DirOf(const std::string& path) {
    const auto sep = path.find_last_of("/\\");
    if (sep == std::string::npos) return ".";
    return path.substr(0, sep == 0 ? 1 : sep);
}

Placement Failed(Placement p, std::string error) {
    p.outcome = Placement::Outcome::Fail;
    p.error = std::move(error);
    return p;
}

bool UsableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

// Tries the counter from 1 on until the filled name is free.
constexpr int kMostTries = 10000;

}  // namespace

std::string Placement::Path() const { return JoinPath(dir, name); }

std::string FreeName(const std::string& dir, std::string_view name, bool folder) {
    std::string_view ext;
    // A folder's name has no extension to keep apart.
    const bool hasExt = !folder && FileExtension(name, ext) && ext.size() < name.size() - 1;
    const std::string stem(hasExt ? name.substr(0, name.size() - ext.size() - 1) : name);
    const std::string tail = hasExt ? "." + std::string(ext) : std::string();
    for (int k = 2; k < kMostTries; ++k) {
        std::string candidate = stem + " (" + std::to_string(k) + ")" + tail;
        if (!StatEntry(dir, candidate)) return candidate;
    }
    return {};
}

Placement PlanPlacement(const ruleactionrec& a, const PlacedFile& f) {
    Placement p;
    const TemplateFile tf{f.name, f.date, f.service, f.rule};
    const std::string& folderTemplate = a.raction == actMove   ? a.move.filepath
                                        : a.raction == actCopy ? a.copy.filepath
                                                               : "";
    if (a.raction == actRename) {
        p.dir = DirOf(f.path);
    } else if (HasFields(folderTemplate)) {
        const FilledTemplate dir = FillTemplate(folderTemplate, tf, 1, false);
        if (!dir.error.empty()) return Failed(p, "the target folder " + dir.error);
        p.dir = dir.text;
        p.fixed = FixedPart(folderTemplate);
        p.makeFolders = true;
        if (p.fixed.empty())
            return Failed(p, "the target folder must start with a folder that exists");
        if (!IsFolder(p.fixed)) return Failed(p, "the folder " + p.fixed + " does not exist");
    } else {
        p.dir = folderTemplate;
    }
    // An empty target would put the file at the file system's root.
    if (p.dir.empty()) return Failed(p, "no target directory");

    if (a.newname.empty()) {
        if (a.raction == actRename) return Failed(p, "the rename has no new name");
        p.name = std::string(f.name);
    } else {
        FilledTemplate name = FillTemplate(a.newname, tf, 1, true);
        if (!name.error.empty()) return Failed(p, "the new name " + name.error);
        for (int n = 2; name.usesCounter && StatEntry(p.dir, name.text) && n < kMostTries; ++n)
            name = FillTemplate(a.newname, tf, n, true);
        p.name = std::move(name.text);
        if (!UsableName(p.name))
            return Failed(p, "the new name \"" + p.name + "\" is no file name");
    }

    const std::optional<DirEntryInfo> there = StatEntry(p.dir, p.name);
    p.replace = a.conflict == ConflictMode::Replace;
    if (!there) return p;
    if (p.Path() == f.path) {
        p.outcome = Placement::Outcome::Skip;
        p.note = kSameNameNote;
        return p;
    }
    // An identical copy is never written again, whatever the choice.
    if (!f.folder && !there->directory && there->size == f.size && there->mtimeNs == f.mtimeNs) {
        p.outcome = Placement::Outcome::Identical;
        p.replace = true;
        return p;
    }
    switch (a.conflict) {
        case ConflictMode::Replace:
            // A folder taken as one download merges into the folder there.
            if (!f.folder) p.note = kReplacedNote;
            return p;
        case ConflictMode::Skip:
            p.outcome = Placement::Outcome::Skip;
            p.note = kSkippedNote;
            return p;
        case ConflictMode::ReplaceOlder:
            if (there->mtimeNs >= f.mtimeNs) {
                p.outcome = Placement::Outcome::Skip;
                p.note = kKeptNewerNote;
                return p;
            }
            p.replace = true;
            p.note = kReplacedNote;
            return p;
        case ConflictMode::KeepBoth: {
            p.name = FreeName(p.dir, p.name, f.folder);
            if (p.name.empty()) return Failed(p, "no free name was found beside it");
            p.note = kKeptBothPrefix + p.name;
            return p;
        }
        case ConflictMode::TrashOld:
            p.trashFirst = true;
            p.note = kTrashedOldNote;
            return p;
    }
    return p;
}

}  // namespace kb
