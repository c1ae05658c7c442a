// Which output each frame gets, and which frames get none: the naming rule (or a name
// pattern), then the refusals, in one place that the plan and the run share, so that a
// dry run lists exactly what the run writes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>

#include "platform/result.h"

namespace qf {

/// A name pattern such as "{stem}_{frame:04}": {stem} (the entry's name up to ".orx"),
/// {dir} (its folder from the input folder's own name down, joined by '_': "day1_sub"),
/// {frame} or {frame:N} (the frame number, zero-padded to N digits), {kind} (normalized,
/// standardized, grayscale or color). The kind's extension follows. A pattern never holds
/// ".orx" (nor the whole entry name, which has it): the next run would take its outputs for
/// data files.
class NamePattern {
public:
    /// The pattern, or why it is none: empty, a "/", an unknown placeholder, a brace
    /// left open.
    static Result<NamePattern> Parse(const std::string& text);
    std::string Apply(const std::string& entryName, std::int16_t frame, const std::string& kind,
                      const std::string& dir = "") const;
    /// The pattern as written.
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

/// The names claimed in each output folder, across data files and input folders, with
/// the frame that claimed each, so that a later frame of the same name is refused.
class NameRegistry {
public:
    /// "" when `name` in folder `folderKey` is free (and now claimed by `claimant`, a data
    /// file of `dataFolder`); else who has it ("frame 1 of scan1.orx"), and `elsewhere`
    /// tells whether that data file lies in another folder than `dataFolder`.
    std::string Claim(const std::string& folderKey, const std::string& name, const std::string& claimant,
                      const std::string& dataFolder = "", bool* elsewhere = nullptr);

private:
    struct Claimant {
        std::string who;
        std::string dataFolder;
    };
    std::map<std::pair<std::string, std::string>, Claimant> claims_;
};

/// Where the outputs of one folder's data files go.
struct OutputPlace {
    std::string dataPrefix;    ///< the data folder's path with its slash
    std::string outputPrefix;  ///< the output folder's path with its slash
    std::string folderKey;     ///< the output folder's identity (device and inode)
    std::unordered_set<std::string> dataNames;  ///< NameKey()s of the names there that are data files
    std::string dirTag;  ///< {dir}: the data folder from the input's own name down, joined by '_'
};

struct OutputName {
    std::string path;        ///< as the user reads it
    std::string name;        ///< within the output folder
    std::string refusal;     ///< why the frame gets no output ("" when it does)
    std::string refusalPath; ///< the path the refusal's line names
    bool nameTaken = false;  ///< refused because another data file's output has the name...
    bool takenFromElsewhere = false;  ///< ...a data file of another folder (one output folder for several)
};

/// Names the frames of one data file, in the order its control steps them.
class OutputNamer {
public:
    OutputNamer(const OutputPlace& place, NameRegistry& registry, const NamePattern* pattern,
                std::string dataPath, const std::string& extension, const std::string& kindName);
    OutputName Next(std::int16_t frame);
    /// Steps past a frame that gets no output (not selected): the names after it are cut
    /// as if it had one, and nothing is claimed.
    void Skip(std::int16_t frame);
    /// The names are a stack's (--stack): a collision names "the stack of" the data file.
    void NameStack() { stack_ = true; }

private:
    const OutputPlace& place_;
    NameRegistry& registry_;
    const NamePattern* pattern_;
    std::string dataPath_;
    std::string working_;
    std::string extension_;
    std::string kindName_;
    bool stack_ = false;
};

}  // namespace qf
