#include "convert/plan.h"

#include <algorithm>

#include "convert/folder_cursor.h"
#include "export/export_kinds.h"
#include "platform/directory.h"
#include "platform/display_name.h"
#include "platform/file_io.h"

namespace qf {
namespace {

std::string WithSlash(const std::string& folder) { return WithTrailingSeparator(folder); }

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

// {dir} of a folder `relative` below `root`: the root's own name, then the folders below it,
// joined by '_' (a name holds no separator).
std::string DirTag(const std::string& root, const std::string& relative) {
    std::string trimmed = root;
    while (trimmed.size() > 1 && IsPathSeparator(trimmed.back())) trimmed.pop_back();
    const std::size_t slash = LastSeparator(trimmed);
    std::string tag = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (tag.empty() || tag == "." || tag == ".." || IsPathSeparator(tag[0])) tag = "top";
    for (const char c : relative) tag += IsPathSeparator(c) ? '_' : c;
    return relative.empty() ? tag : tag.insert(tag.size() - relative.size(), "_");
}

std::string EarlierOutputsNote(const std::string& folder, const std::vector<std::string>& names) {
    if (names.size() == 1) {
        return DisplayName(folder) + ": passed over " + DisplayName(names.front()) +
               ", an image whose name holds .orx (taken for an output of an earlier run)";
    }
    return DisplayName(folder) + ": passed over " + std::to_string(names.size()) + " images whose names hold .orx (" +
           DisplayName(names.front()) + ", ...; taken for outputs of an earlier run)";
}

std::string OutputFolderInTree(const std::string& path) {
    return DisplayName(path) + ": not walked: it is the output folder (--output-dir); data files in it are not converted";
}

class Planner {
public:
    Planner(CGetdatactrl1& control, const RunOptions& options, const PlanCalls& calls, NameRegistry& registry)
        : control_(control), options_(options), calls_(calls), registry_(registry), cursor_(plan_) {}

    Plan Make(const std::string& input);

private:
    struct Pending {
        std::size_t parent = kNoParent;
        std::string name;
        std::string identity;
    };

    bool OpenOutputDir();
    bool OpenRoot(const std::string& folder);
    void Walk(const std::vector<std::string>* only);
    bool AddFolder(std::size_t index, const std::vector<std::string>* only, std::vector<Pending>& todo);
    void PlaceOutputs(std::size_t index, const std::shared_ptr<OutputFolder>& data, const std::vector<std::string>& names);
    void MarkDataNames(int folderFd, const std::vector<std::string>& names, OutputPlace& place) const;
    void Sweep(const OutputFolder& folder, const std::string& path, const std::vector<std::string>& names);
    void PlanFile(PlannedFile& file);
    void NameFrames(PlannedFile& file);
    void NoteFramesOutside(const PlannedFile& file);
    bool ClaimMirroredFolders(PlannedFile& file);
    void Unreadable(const std::string& path, const std::string& why) {
        plan_.unreadable = why;
        plan_.unreadablePath = path;
    }

    CGetdatactrl1& control_;
    const RunOptions& options_;
    const PlanCalls& calls_;
    NameRegistry& registry_;
    Plan plan_;
    FolderCursor cursor_;
    std::string outputDirIdentity_;
    std::vector<std::string> outputDirNames_;
    bool outputDirListed_ = false;
};

bool Planner::OpenOutputDir() {
    if (options_.outputDir.empty()) return true;
    const Result<FileFacts> existing = FactsAt(kWorkingFolder, options_.outputDir, true);
    if (options_.dryRun && !existing.ok() && existing.error().kind == ErrorKind::kMissing) {
        plan_.outputDir = std::make_shared<OutputFolder>();  // a folder the run would make: empty
        return true;
    }
    auto folder = std::make_shared<OutputFolder>();
    Status made = MakeFolders(options_.outputDir);
    if (made.ok()) made = folder->Open(options_.outputDir);
    if (!made.ok()) {
        Unreadable(options_.outputDir, "cannot use the output folder: " + made.message());
        return false;
    }
    plan_.outputDir = folder;
    outputDirIdentity_ = FolderIdentity(folder->fd());
    Result<std::vector<std::string>> names = ListFolder(folder->fd());
    if (names.ok()) outputDirNames_ = std::move(names.value());
    return true;
}

bool Planner::OpenRoot(const std::string& folder) {
    auto root = std::make_shared<OutputFolder>();
    if (Status opened = root->Open(folder); !opened.ok()) {
        Unreadable(folder, "cannot read folder: " + opened.message());
        return false;
    }
    plan_.root = root;
    PlanFolder first;
    first.path = folder;
    first.identity = FolderIdentity(root->fd());
    plan_.folders.push_back(std::move(first));
    return true;
}

// Every name of an output folder that the run reads as data is one no output replaces:
// names holding ".orx", and the files named on the command line, whatever their names.
void Planner::MarkDataNames(int folderFd, const std::vector<std::string>& names, OutputPlace& place) const {
    for (const std::string& name : names) {
        bool data = FindDataExtension(name) != std::string::npos && (folderFd < 0 || !IsEarlierOutput(folderFd, name));
        if (!data && calls_.dataIds && !calls_.dataIds->empty() && folderFd >= 0) {
            const Result<FileFacts> facts = FactsAt(folderFd, name, true);
            data = facts.ok() && calls_.dataIds->contains(facts.value().identity);
        }
        if (data) place.dataNames.insert(NameKey(name));
    }
}

void Planner::Sweep(const OutputFolder& folder, const std::string& path, const std::vector<std::string>& names) {
    if (options_.dryRun || folder.fd() < 0) return;
    if (const int swept = SweepStaleTemporaries(folder, names); swept > 0) {
        plan_.notes.push_back(DisplayName(path) + ": removed " + std::to_string(swept) + " temporary file" +
                              (swept == 1 ? "" : "s") + " left by an earlier run that was stopped");
    }
}

// Where the outputs of folder `index` (open as `data`, holding `names`) go, and the names
// there that no output may take; stale temporaries there are swept.
void Planner::PlaceOutputs(std::size_t index, const std::shared_ptr<OutputFolder>& data,
                           const std::vector<std::string>& names) {
    const std::string& path = plan_.folders[index].path;
    OutputPlace& place = plan_.folders[index].place;
    place.dataPrefix = WithSlash(path);
    const std::string& relative = plan_.folders[index].relative;
    const bool mirrored = plan_.outputDir && plan_.mirror && !relative.empty();
    place.outputPrefix = plan_.outputDir ? WithSlash(options_.outputDir) + (mirrored ? WithSlash(relative) : "")
                                         : place.dataPrefix;
    place.folderKey = plan_.outputDir ? (plan_.outputDir->fd() >= 0 ? outputDirIdentity_ : "new:" + options_.outputDir)
                                      : plan_.folders[index].identity;
    if (mirrored) place.folderKey += "/" + relative;
    place.dirTag = DirTag(plan_.folders[0].path, relative);
    if (mirrored) {
        // Its mirror in the output folder, when it is there already, is listed like one.
        Result<std::shared_ptr<OutputFolder>> mirror = cursor_.Output(index, data, false);
        if (mirror.ok() && mirror.value()->fd() >= 0) {
            Result<std::vector<std::string>> there = ListFolder(mirror.value()->fd());
            if (there.ok()) {
                MarkDataNames(mirror.value()->fd(), there.value(), place);
                Sweep(*mirror.value(), place.outputPrefix.substr(0, place.outputPrefix.size() - 1), there.value());
            }
        }
    } else if (plan_.outputDir) {
        MarkDataNames(plan_.outputDir->fd(), outputDirNames_, place);
        if (!outputDirListed_) Sweep(*plan_.outputDir, options_.outputDir, outputDirNames_);
        outputDirListed_ = true;
    } else {
        MarkDataNames(data->fd(), names, place);
        Sweep(*data, path, names);
    }
}

// Lists one folder (only the names in `only`, when given) and adds its data files; its
// subfolders go onto `todo` when recursing, so that the tree is walked files first, then
// folders, each in name order, however deep it goes.
bool Planner::AddFolder(std::size_t index, const std::vector<std::string>* only, std::vector<Pending>& todo) {
    const std::string path = plan_.folders[index].path;
    Result<std::shared_ptr<OutputFolder>> entered = cursor_.Enter(index);
    Result<std::vector<std::string>> names =
        entered.ok() ? ListFolder(entered.value()->fd()) : Result<std::vector<std::string>>(entered.error());
    if (!names.ok()) {
        const std::string cause = entered.ok() ? names.message() : cursor_.cause();
        if (index == 0) Unreadable(path, "cannot read folder: " + cause);
        else plan_.failures.push_back(PlanFailure{path, "cannot read folder: " + cause + "; not converted"});
        return false;
    }
    const std::shared_ptr<OutputFolder> data = entered.value();
    const std::vector<std::string>& listed = only ? *only : names.value();
    PlaceOutputs(index, data, names.value());
    OutputPlace& place = plan_.folders[index].place;
    std::vector<Pending> subfolders;
    std::vector<std::string> images;
    for (const std::string& name : listed) {
        if (!only && ExcludedByName(options_.exclude, name)) continue;
        if (!only && options_.recursive) {
            // A folder is a folder whatever its name holds (run.orx.d/). Not through links: a
            // link could lead out of the tree or round it. Our own output folder, when it
            // lies in the tree, holds no data.
            Result<FileFacts> facts = FactsAt(data->fd(), name, false);
            if (facts.ok() && facts.value().type == FileType::kFolder) {
                if (facts.value().identity == outputDirIdentity_) {
                    if (!outputDirIdentity_.empty()) plan_.notes.push_back(OutputFolderInTree(place.dataPrefix + name));
                } else {
                    subfolders.push_back(Pending{index, name, facts.value().identity});
                }
                continue;
            }
        }
        if (only || NamedAsDataFile(name, options_.onlyOrx)) {
            if (!only && IsEarlierOutput(data->fd(), name)) {
                images.push_back(place.dataPrefix + name);
                continue;
            }
            if (only) place.dataNames.insert(NameKey(name));  // a file named by the user is data too
            PlannedFile file;
            file.path = place.dataPrefix + name;
            file.name = name;
            file.folder = index;
            plan_.files.push_back(std::move(file));
        }
    }
    if (!images.empty()) plan_.notes.push_back(EarlierOutputsNote(path, images));
    todo.insert(todo.end(), subfolders.rbegin(), subfolders.rend());
    return true;
}

void Planner::Walk(const std::vector<std::string>* only) {
    std::vector<Pending> todo;
    if (!AddFolder(0, only, todo)) return;
    while (!todo.empty()) {
        Pending next = std::move(todo.back());
        todo.pop_back();
        PlanFolder folder;
        folder.path = WithSlash(plan_.folders[next.parent].path) + next.name;
        folder.parent = next.parent;
        folder.relative = plan_.folders[next.parent].relative.empty()
                              ? next.name
                              : plan_.folders[next.parent].relative + "/" + next.name;
        folder.name = std::move(next.name);
        folder.identity = std::move(next.identity);
        plan_.folders.push_back(std::move(folder));
        AddFolder(plan_.folders.size() - 1, nullptr, todo);
    }
}

void Planner::PlanFile(PlannedFile& file) {
    file.planned = true;
    Result<std::shared_ptr<OutputFolder>> folder = cursor_.Enter(file.folder);
    if (!folder.ok()) {
        file.state = PlannedFile::State::kUnreadable;
        file.reason = folder.message() + "; not converted";
        return;
    }
    const int dataFd = folder.value()->fd();
    const EntryKind entry = KindOfEntry(dataFd, file.name);
    if (!entry.regular) {
        file.state = entry.unreadable ? PlannedFile::State::kUnreadable : PlannedFile::State::kNotData;
        file.reason = entry.why + "; skipped";
        return;
    }
    if (Result<FileFacts> facts = FactsAt(dataFd, file.name, LinksLeadToDataFiles()); facts.ok()) {
        file.facts = facts.value();
    }
    if (Status loaded = control_.LoadFile(PathThroughFolder(dataFd, file.name, file.path)); !loaded.ok()) {
        file.state = PlannedFile::State::kLoadFailed;
        file.reason = loaded.message();
        return;
    }
    if (calls_.settle) calls_.settle();
    file.framePixels = FramePixels(control_);
    FrameWalk walk = WalkFrames(control_, calls_.settle);
    if (file.framePixels == 0 && !walk.numbers.empty()) {
        // Nothing of them can be written: one line for them all, and no names claimed.
        file.noSampleFrames = static_cast<int>(walk.numbers.size());
        file.firstFrame = walk.numbers.front();
        file.lastFrame = walk.numbers.back();
    } else {
        file.frames.reserve(walk.numbers.size());
        for (std::int16_t number : walk.numbers) file.frames.push_back(PlannedFrame{number, true, {}});
    }
    if (walk.repeats) {
        file.loopFrame = walk.repeated;
        file.loopFailure = "frame numbers repeat without coming back to frame " +
                           std::to_string(walk.numbers.front()) + "; rest of the file skipped";
    }
}

// --mirror: the folders a data file's outputs go into take names in their parents' output
// folders, as outputs do; a name an output of the run took already (t/x.orx gave x.tiff,
// and t/x.tiff/ needs out/x.tiff to be a folder) leaves the folder's files unconverted, in
// the dry run as in the run.
bool Planner::ClaimMirroredFolders(PlannedFile& file) {
    if (!plan_.outputDir || !plan_.mirror) return true;
    std::vector<std::size_t> chain;
    for (std::size_t i = file.folder; i != kNoParent && i != 0; i = plan_.folders[i].parent) chain.push_back(i);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const PlanFolder& folder = plan_.folders[*it];
        const OutputPlace& parent = plan_.folders[folder.parent].place;
        const std::string owner = registry_.Claim(parent.folderKey, folder.name, "the folder for " + DisplayName(folder.path));
        if (!owner.empty()) {
            file.planned = true;
            file.state = PlannedFile::State::kUnreadable;
            file.reason = "its output folder " + DisplayName(parent.outputPrefix + folder.name) + " is taken by " + owner +
                          "; not converted";
            return false;
        }
    }
    return true;
}

void Planner::NameFrames(PlannedFile& file) {
    for (PlannedFrame& frame : file.frames) frame.selected = options_.frames.Contains(frame.number);
    std::vector<OutputName> names = NameOutputs(plan_.folders[file.folder].place, registry_, options_, file, *calls_.kind);
    for (std::size_t f = 0; f < file.frames.size(); ++f) file.frames[f].output = std::move(names[f]);
}

// A selection that names frames a data file does not have was most likely meant for
// another series: said, so that "0 of 0 frames written" is no riddle.
void Planner::NoteFramesOutside(const PlannedFile& file) {
    if (options_.frames.all() || file.state != PlannedFile::State::kData || file.frames.empty()) return;
    const auto [lo, hi] = std::minmax_element(file.frames.begin(), file.frames.end(),
                                              [](const PlannedFrame& a, const PlannedFrame& b) { return a.number < b.number; });
    const std::string frames = std::to_string(file.frames.size()) + " (" + std::to_string(lo->number) + " to " +
                               std::to_string(hi->number) + ")";
    const std::string selection = "--frames " + options_.frames.text();
    if (std::none_of(file.frames.begin(), file.frames.end(), [](const PlannedFrame& f) { return f.selected; })) {
        plan_.notes.push_back(DisplayName(file.path) + ": " + selection + " selects no frame of its " + frames);
        return;
    }
    const std::vector<std::string> outside = options_.frames.Outside(lo->number, hi->number);
    if (outside.empty()) return;
    std::string items;
    for (const std::string& item : outside) items += (items.empty() ? "" : ", ") + item;
    plan_.notes.push_back(DisplayName(file.path) + ": " + selection + ": " + items +
                          (outside.size() == 1 ? " names no frame" : " name no frame") + " of its " + frames);
}

Plan Planner::Make(const std::string& input) {
    plan_.mirror = options_.mirror;
    if (!OpenOutputDir()) return std::move(plan_);
    Result<FileFacts> facts = FactsAt(kWorkingFolder, input, true);
    const bool singleFile = facts.ok() && facts.value().type != FileType::kFolder;
    if (singleFile) {
        const std::size_t slash = LastSeparator(input);
        const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : input.substr(0, slash));
        const std::vector<std::string> only = {input.substr(slash == std::string::npos ? 0 : slash + 1)};
        if (!OpenRoot(folder)) return std::move(plan_);
        Walk(&only);
        if (!plan_.unreadable.empty()) return std::move(plan_);
        // The user's own spelling of the path is what messages show.
        if (slash == std::string::npos) {
            plan_.folders.back().place.dataPrefix = "";
            if (!plan_.outputDir) plan_.folders.back().place.outputPrefix = "";
            plan_.files.back().path = input;
        }
    } else if (!facts.ok() && facts.error().kind == ErrorKind::kMissing) {
        Unreadable(input, "cannot read: " + facts.message());
        return std::move(plan_);
    } else {
        if (!OpenRoot(input)) return std::move(plan_);
        Walk(nullptr);
        if (!plan_.unreadable.empty()) return std::move(plan_);
    }
    std::size_t dealt = options_.shardOffset;
    int read = 0;
    for (PlannedFile& file : plan_.files) {
        if (calls_.stopRequested && calls_.stopRequested()) break;
        if (!ClaimMirroredFolders(file)) continue;
        PlanFile(file);
        if (calls_.fileRead) calls_.fileRead(++read);
        const bool counts = file.state == PlannedFile::State::kData || file.state == PlannedFile::State::kLoadFailed;
        if (counts) file.inShard = static_cast<int>(dealt++ % static_cast<std::size_t>(options_.shardCount)) ==
                                   options_.shardIndex - 1;
        NameFrames(file);
        if (file.inShard) NoteFramesOutside(file);
    }
    return std::move(plan_);
}

}  // namespace

std::vector<OutputName> NameOutputs(const OutputPlace& place, NameRegistry& registry, const RunOptions& options,
                                    const PlannedFile& file, const ExportKindInfo& kind) {
    OutputNamer namer(place, registry, options.pattern.get(), file.path, OutputExtension(kind, options.exportOptions),
                      kind.shortName);
    // A stack is a TIFF: a bitmap kind writes a file per frame, stack or not.
    const bool stack = options.exportOptions.stack && kind.tiff;
    if (stack) namer.NameStack();
    std::vector<OutputName> names(file.frames.size());
    const OutputName* first = nullptr;
    for (std::size_t f = 0; f < file.frames.size(); ++f) {
        const PlannedFrame& frame = file.frames[f];
        if (!frame.selected) {
            namer.Skip(frame.number);
        } else if (stack && first) {
            names[f] = *first;  // a stack is one output under its first page's name
        } else {
            names[f] = namer.Next(frame.number);
            first = &names[f];
        }
    }
    return names;
}

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
        if (f.inShard) n += static_cast<long>(std::count_if(f.frames.begin(), f.frames.end(), [](const PlannedFrame& p) { return p.selected; }));
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

std::string ChangedSincePlanned(const PlannedFile& file, int folderFd) {
    const Result<FileFacts> now = FactsAt(folderFd, file.name, LinksLeadToDataFiles());
    if (!now.ok()) return "the file went away after the run was planned (" + now.message() + ")";
    if (!SameFileUnchanged(now.value(), file.facts)) {
        return "the file changed after the run was planned (" + std::to_string(file.facts.size) + " bytes then, " +
               std::to_string(now.value().size) + " now)";
    }
    return "";
}

Plan MakePlan(CGetdatactrl1& control, const std::string& input, const RunOptions& options, const PlanCalls& calls,
              NameRegistry& registry) {
    return Planner(control, options, calls, registry).Make(input);
}

}  // namespace qf
