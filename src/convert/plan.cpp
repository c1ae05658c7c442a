#include "convert/plan.h"

#include <bitset>

#include "export/export_kinds.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {
namespace {

std::string WithSlash(const std::string& folder) {
    if (folder.empty()) return "./";
    return IsPathSeparator(folder.back()) ? folder : folder + "/";
}

std::string FolderKey(int fd) {
    Result<FileFacts> facts = FactsOf(fd);
    return facts.ok() ? facts.value().identity : "fd" + std::to_string(fd);
}

// Creates `path` and, when they are missing, the folders above it: from the deepest one
// that exists down, so that roots such as "C:\\" or "\\\\server\\share" are never made.
Status MakeFolders(const std::string& path) {
    Status made = MakeFolder(path);
    if (!made.ok() && made.kind() == ErrorKind::kMissing) {
        std::size_t end = path.find_last_not_of(kPathSeparators);
        end = end == std::string::npos ? std::string::npos : path.find_last_of(kPathSeparators, end);
        const std::string parent = end == std::string::npos ? std::string() : path.substr(0, end);
        if (!parent.empty() && parent != path) {
            if (Status above = MakeFolders(parent); !above.ok()) return above;
            made = MakeFolder(path);
        }
    }
    if (!made.ok()) {
        return Fail(ErrorKind::kCannotCreate, "cannot create the folder " + DisplayName(path) + ": " + made.message());
    }
    return Status::Ok();
}

// The pixels of each frame of the loaded file, as a pull sizes them; 0 when the control
// cannot tell (the progress then counts frames alike).
std::uint64_t FramePixels(CGetdatactrl1& control) {
    try {
        const bool full = control.IsFullResolution();
        const int divisor = full ? 1 : 2;
        const int width = control.GetImageWidth() / divisor, height = control.GetImageHeight() / divisor;
        return width > 0 && height > 0 ? std::uint64_t(width) * std::uint64_t(height) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

class Planner {
public:
    Planner(CGetdatactrl1& control, const PlanOptions& options, NameRegistry& registry)
        : control_(control), options_(options), registry_(registry) {}

    Plan Make(const std::string& input);

private:
    bool OpenOutputDir();
    bool AddFolder(const std::string& path, const std::vector<std::string>* only);
    void PlanFile(PlannedFile& file);
    void NameFrames(PlannedFile& file);
    void Unreadable(const std::string& path, const std::string& why) {
        plan_.unreadable = why;
        plan_.unreadablePath = path;
    }

    CGetdatactrl1& control_;
    const PlanOptions& options_;
    NameRegistry& registry_;
    std::shared_ptr<OutputFolder> outputDir_;
    Plan plan_;
};

bool Planner::OpenOutputDir() {
    if (options_.outputDir.empty()) return true;
    auto folder = std::make_shared<OutputFolder>();
    const Result<FileFacts> existing = FactsAt(kWorkingFolder, options_.outputDir, true);
    if (options_.dryRun && !existing.ok() && existing.error().kind == ErrorKind::kMissing) {
        outputDir_ = folder;  // a folder the run would make: empty, and no descriptor yet
        return true;
    }
    Status made = MakeFolders(options_.outputDir);
    if (made.ok()) made = folder->Open(options_.outputDir);
    if (!made.ok()) {
        Unreadable(options_.outputDir, "cannot use the output folder: " + made.message());
        return false;
    }
    outputDir_ = folder;
    return true;
}

// Lists one folder (only the names in `only`, when given) and adds its data files, then
// its subfolders when recursing: files first, then folders, each in name order.
bool Planner::AddFolder(const std::string& path, const std::vector<std::string>* only) {
    PlanFolder folder;
    folder.path = path;
    Status opened = folder.data.Open(path);
    Result<std::vector<std::string>> names = opened.ok() ? ListFolder(folder.data.fd()) : opened.error();
    if (!names.ok()) {
        if (plan_.folders.empty()) Unreadable(path, "cannot read folder: " + names.message());
        else plan_.notes.push_back(DisplayName(path) + ": cannot read folder: " + names.message() + "; skipped");
        return false;
    }
    const std::vector<std::string>& listed = only ? *only : names.value();
    folder.output = outputDir_ ? outputDir_ : std::make_shared<OutputFolder>(std::move(folder.data));
    if (!outputDir_) folder.data = OutputFolder();  // the output folder holds the one descriptor
    const int dataFd = outputDir_ ? folder.data.fd() : folder.output->fd();
    folder.place.dataPrefix = WithSlash(path);
    folder.place.outputPrefix = outputDir_ ? WithSlash(options_.outputDir) : folder.place.dataPrefix;
    folder.place.folderKey = folder.output->fd() >= 0 ? FolderKey(folder.output->fd()) : "new:" + options_.outputDir;
    // Every name of the output folder that holds ".orx" is a data file no output replaces.
    Result<std::vector<std::string>> outputNames =
        !outputDir_ ? names : outputDir_->fd() >= 0 ? ListFolder(outputDir_->fd()) : std::vector<std::string>{};
    if (outputNames.ok()) {
        for (const std::string& name : outputNames.value()) {
            if (FindDataExtension(name) != std::string::npos) folder.place.dataNames.insert(NameKey(name));
        }
    }
    if (int swept = options_.dryRun ? 0
                                    : SweepStaleTemporaries(*folder.output, outputNames.ok() ? outputNames.value()
                                                                                             : std::vector<std::string>{});
        swept > 0) {
        plan_.notes.push_back(DisplayName(folder.place.outputPrefix.substr(0, folder.place.outputPrefix.size() - 1)) +
                              ": removed " + std::to_string(swept) + " temporary file" + (swept == 1 ? "" : "s") +
                              " left by an earlier run that was stopped");
    }
    std::vector<std::string> subfolders;
    const std::size_t index = plan_.folders.size();
    for (const std::string& name : listed) {
        const bool isData = only || FindDataExtension(name) != std::string::npos;
        if (isData) {
            if (only) folder.place.dataNames.insert(NameKey(name));  // a file named by the user is data too
            PlannedFile file;
            file.path = folder.place.dataPrefix + name;
            file.name = name;
            file.folder = index;
            plan_.files.push_back(std::move(file));
        } else if (options_.recursive) {
            // Folders only, and not through links: a link could lead out of the tree or round it.
            Result<FileFacts> facts = FactsAt(dataFd, name, false);
            if (facts.ok() && facts.value().type == FileType::kFolder) {
                subfolders.push_back(name);
            }
        }
    }
    plan_.folders.push_back(std::move(folder));
    for (const std::string& sub : subfolders) AddFolder(WithSlash(path) + sub, nullptr);
    return true;
}

void Planner::PlanFile(PlannedFile& file) {
    const PlanFolder& folder = plan_.folders[file.folder];
    const int dataFd = folder.data.fd() >= 0 ? folder.data.fd() : folder.output->fd();
    const EntryKind entry = KindOfEntry(dataFd, file.name);
    if (!entry.regular) {
        const bool note = entry.missing || entry.why.find("cannot open") == std::string::npos;
        file.state = note ? PlannedFile::State::kNotData : PlannedFile::State::kUnreadable;
        file.reason = entry.why + "; skipped";
        return;
    }
    if (Status loaded = control_.LoadFile(file.path); !loaded.ok()) {
        file.state = PlannedFile::State::kLoadFailed;
        file.reason = "cannot load: " + loaded.message();
        return;
    }
    if (options_.settle) options_.settle();
    file.framePixels = FramePixels(control_);
    FrameWalk walk = WalkFrames(control_, options_.settle);
    for (std::int16_t number : walk.numbers) file.frames.push_back(PlannedFrame{number, {}});
    if (walk.repeats) {
        file.loopFrame = walk.repeated;
        file.loopFailure = "frame numbers repeat without coming back to frame " +
                           std::to_string(walk.numbers.front()) + "; rest of the file skipped";
    }
}

void Planner::NameFrames(PlannedFile& file) {
    const ExportKindInfo& kind = *options_.kind;
    OutputNamer namer(plan_.folders[file.folder].place, registry_, options_.pattern, file.path, kind.extension,
                      kind.shortName);
    for (PlannedFrame& frame : file.frames) frame.output = namer.Next(frame.number);
}

Plan Planner::Make(const std::string& input) {
    if (!OpenOutputDir()) return std::move(plan_);
    Result<FileFacts> facts = FactsAt(kWorkingFolder, input, true);
    const bool singleFile = facts.ok() && facts.value().type != FileType::kFolder;
    if (singleFile) {
        const std::size_t slash = LastSeparator(input);
        const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : input.substr(0, slash));
        const std::vector<std::string> only = {input.substr(slash == std::string::npos ? 0 : slash + 1)};
        if (!AddFolder(folder, &only)) return std::move(plan_);
        // The user's own spelling of the path is what messages show.
        if (slash == std::string::npos) {
            plan_.folders.back().place.dataPrefix = "";
            if (!outputDir_) plan_.folders.back().place.outputPrefix = "";
            plan_.files.back().path = input;
        }
    } else if (!AddFolder(input, nullptr)) {
        return std::move(plan_);
    }
    std::size_t dealt = options_.shardOffset;
    for (PlannedFile& file : plan_.files) {
        if (options_.stopRequested && options_.stopRequested()) break;
        PlanFile(file);
        const bool counts = file.state == PlannedFile::State::kData || file.state == PlannedFile::State::kLoadFailed;
        if (counts) file.inShard = static_cast<int>(dealt++ % static_cast<std::size_t>(options_.shardCount)) ==
                                   options_.shardIndex - 1;
        NameFrames(file);
    }
    return std::move(plan_);
}

}  // namespace

int Plan::FilesInShard() const {
    int n = 0;
    for (const PlannedFile& f : files) {
        n += f.inShard && (f.state == PlannedFile::State::kData || f.state == PlannedFile::State::kLoadFailed);
    }
    return n;
}

long Plan::FramesInShard() const {
    long n = 0;
    for (const PlannedFile& f : files) {
        if (f.inShard) n += static_cast<long>(f.frames.size());
    }
    return n;
}

std::uint64_t Plan::PixelsInShard() const {
    std::uint64_t n = 0;
    for (const PlannedFile& f : files) {
        if (f.inShard) n += f.framePixels * f.frames.size();
    }
    return n;
}

FrameWalk WalkFrames(CGetdatactrl1& control, const std::function<void()>& settle) {
    FrameWalk walk;
    std::bitset<65536> seen;
    const std::int16_t initial = control.GetFrameNumber();
    std::int16_t next = initial;
    do {
        const std::int16_t w = control.GetFrameNumber();
        seen.set(static_cast<std::uint16_t>(w));
        walk.numbers.push_back(w);
        control.NextFrame();
        if (settle) settle();
        next = control.GetFrameNumber();
        if (next != initial && seen.test(static_cast<std::uint16_t>(next))) {
            walk.repeats = true;
            walk.repeated = next;
            break;
        }
    } while (next != initial);
    return walk;
}

Plan MakePlan(CGetdatactrl1& control, const std::string& input, const PlanOptions& options,
              NameRegistry& registry) {
    return Planner(control, options, registry).Make(input);
}

}  // namespace qf
