// What a run takes for a data file: the one rule the plan, the watch and the counts of
// data files in subfolders share.
#pragma once

#include <string>
#include <vector>

namespace qf {

/// Whether `name` ends in the data files' extension (".orx"; on Windows in any case).
bool EndsInDataExtension(const std::string& name);
/// An entry whose name holds .orx but which is an image (a TIFF or a bitmap) is an output
/// of an earlier run (the naming rule gives run.orx.bak the output run.orx.tiff), not a data
/// file that would fail: true for such an entry of `folderFd`.
bool IsEarlierOutput(int folderFd, const std::string& name);
/// A name a run takes for a data file's before it looks inside: it holds ".orx" (with
/// `onlyOrx`, ends in it) and is no temporary of ours.
bool NamedAsDataFile(const std::string& name, bool onlyOrx);
/// The one rule of what counts as a data file of `folderFd` (the plan, the watch, the count
/// of data files in subfolders): named as one, and no image of an earlier run.
bool TakenAsDataFile(int folderFd, const std::string& name, bool onlyOrx);
/// --exclude: an entry (file or folder) whose name matches one of `globs` is passed over.
bool ExcludedByName(const std::vector<std::string>& globs, const std::string& name);

}  // namespace qf
