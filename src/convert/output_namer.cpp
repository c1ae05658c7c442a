#include "convert/output_namer.h"

#include <cstdio>

#include "convert/output_naming.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {
namespace {

struct Placeholder {
    std::string key;
    int width = 0;  ///< {frame:N}
};

// The placeholder that starts at `open` ("{" ... "}"), and where it ends.
Result<Placeholder> ReadPlaceholder(const std::string& text, std::size_t open, std::size_t* end) {
    const std::size_t close = text.find('}', open);
    if (close == std::string::npos) return Fail(ErrorKind::kInvalid, "a '{' is not closed");
    *end = close + 1;
    std::string inner = text.substr(open + 1, close - open - 1);
    Placeholder p;
    if (inner.rfind("frame:", 0) == 0) {
        const std::string digits = inner.substr(6);
        if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(digits) < 1 || std::stoi(digits) > 10) {
            return Fail(ErrorKind::kInvalid, "{" + inner + "}: the padding is a number of digits, 1 to 10");
        }
        p.key = "frame";
        p.width = std::stoi(digits);
        return p;
    }
    if (inner != "stem" && inner != "dir" && inner != "frame" && inner != "kind") {
        return Fail(ErrorKind::kInvalid,
                    "{" + inner + "} is no placeholder (use {stem}, {dir}, {frame}, {frame:N} or {kind})");
    }
    p.key = inner;
    return p;
}

std::string Stem(const std::string& entryName) {
    const std::size_t orx = FindDataExtension(entryName);
    return orx == std::string::npos ? entryName : entryName.substr(0, orx);
}

}  // namespace

Result<NamePattern> NamePattern::Parse(const std::string& text) {
    if (text.find_first_of(kPathSeparators) != std::string::npos) {
        return Fail(ErrorKind::kInvalid, kPathSeparators.size() > 1 ? "a name pattern may not hold '/' or '\\'"
                                                                     : "a name pattern may not hold '/'");
    }
    if (text.empty()) return Fail(ErrorKind::kInvalid, "the name pattern is empty");
    // An output named like a data file would be taken for one by the next run over the folder.
    if (FindDataExtension(text) != std::string::npos) {
        return Fail(ErrorKind::kInvalid, "a name pattern may not hold .orx (the next run would take the outputs for "
                                         "data files)");
    }
    if (text.find("{name}") != std::string::npos) {
        return Fail(ErrorKind::kInvalid, "{name} holds the data file's .orx, and the next run would take the outputs "
                                         "for data files: use {stem}");
    }
    // Windows takes these for streams, wildcards and redirections, never for a file's name.
    const std::string_view reserved = kPathSeparators.size() > 1 ? ":*?\"<>|" : "";
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '}') return Fail(ErrorKind::kInvalid, "a '}' has no '{'");
        if (reserved.find(text[i]) != std::string_view::npos) {
            return Fail(ErrorKind::kInvalid, "a name pattern may not hold any of : * ? \" < > |");
        }
        if (text[i] != '{') {
            ++i;
            continue;
        }
        std::size_t end = 0;
        Result<Placeholder> p = ReadPlaceholder(text, i, &end);
        if (!p.ok()) return p.error();
        i = end;
    }
    NamePattern pattern;
    pattern.text_ = text;
    return pattern;
}

std::string NamePattern::Apply(const std::string& entryName, std::int16_t frame, const std::string& kind,
                               const std::string& dir) const {
    std::string out;
    for (std::size_t i = 0; i < text_.size();) {
        if (text_[i] != '{') {
            out += text_[i++];
            continue;
        }
        std::size_t end = 0;
        const Placeholder p = ReadPlaceholder(text_, i, &end).value();  // checked by Parse
        if (p.key == "stem") out += Stem(entryName);
        if (p.key == "dir") out += dir;
        if (p.key == "kind") out += kind;
        if (p.key == "frame") {
            char digits[32];
            std::snprintf(digits, sizeof digits, "%0*d", p.width, int{frame});
            out += digits;
        }
        i = end;
    }
    return out;
}

std::string NameRegistry::Claim(const std::string& folderKey, const std::string& name, const std::string& claimant,
                                const std::string& dataFolder, bool* elsewhere) {
    // Names the file system takes for one file are one claim.
    // The same frame of the same file naming itself again (a run that goes on with one job
    // after a full disk) is no collision.
    auto [it, fresh] = claims_.emplace(std::make_pair(folderKey, NameKey(name)), Claimant{claimant, dataFolder});
    if (fresh || it->second.who == claimant) return std::string();
    if (elsewhere) *elsewhere = it->second.dataFolder != dataFolder;
    return it->second.who;
}

OutputNamer::OutputNamer(const OutputPlace& place, NameRegistry& registry, const NamePattern* pattern,
                         std::string dataPath, const std::string& extension, const std::string& kindName)
    : place_(place),
      registry_(registry),
      pattern_(pattern),
      dataPath_(std::move(dataPath)),
      working_(dataPath_),
      extension_(extension),
      kindName_(kindName) {}

void OutputNamer::Skip(std::int16_t frame) {
    if (!pattern_) working_ = NextOutputPath(working_, frame, extension_);
}

OutputName OutputNamer::Next(std::int16_t frame) {
    OutputName out;
    const std::string& prefix = place_.dataPrefix;
    if (pattern_) {
        const std::string stem = pattern_->Apply(dataPath_.substr(prefix.size()), frame, kindName_, place_.dirTag);
        if (stem.empty()) {  // {stem} of a file named ".orx"
            out.refusal = "the name pattern gives this file an empty name; not written";
            out.refusalPath = dataPath_;
            return out;
        }
        out.name = stem + extension_;
    } else {
        // Each name is cut from the one before: the rule scripts rely on.
        working_ = NextOutputPath(working_, frame, extension_);
        const bool inFolder = working_.size() > prefix.size() && working_.starts_with(prefix) &&
                              working_.find_first_of(kPathSeparators, prefix.size()) == std::string::npos;
        if (!inFolder) {
            out.refusal = "output name " + DisplayName(working_) + " falls outside the folder; not written";
            out.refusalPath = dataPath_;
            return out;
        }
        out.name = working_.substr(prefix.size());
    }
    out.path = place_.outputPrefix + out.name;
    out.refusalPath = dataPath_;
    if (place_.dataNames.contains(NameKey(out.name))) {
        out.refusal = "would replace the data file " + DisplayName(out.path) + "; not written";
        return out;
    }
    if (NameTooLong(out.name)) {
        out.refusal = "its name " + DisplayName(out.path) + " is longer than a file system allows (" +
                      std::to_string(out.name.size()) + " bytes); not written";
        return out;
    }
    out.refusalPath.clear();
    const std::string claimant =
        (stack_ ? std::string("the stack of ") : "frame " + std::to_string(frame) + " of ") + DisplayName(dataPath_);
    if (std::string owner = registry_.Claim(place_.folderKey, out.name, claimant, place_.dataPrefix,
                                            &out.takenFromElsewhere);
        !owner.empty()) {
        out.refusal = "not written: its name " + DisplayName(out.path) + " is taken by " + owner;
        out.nameTaken = true;
        out.refusalPath = dataPath_;
    }
    return out;
}

}  // namespace qf
