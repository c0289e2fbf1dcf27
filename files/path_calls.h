// Inside the file primitives: the calls that take a path, instantiated for one kind of path by
// the platform file that defines them.
#pragma once

#define TMF_FILES_PATH_CALLS(Path)                                                     \
  template bool OpenExisting(const Path&, Access, Sharing, FileHandle&, std::string&); \
  template bool CreateNew(const Path&, unsigned, FileHandle&, std::string&);           \
  template bool FactsAt(const Path&, FileFacts&, bool&);                               \
  template bool ReachedThroughLink(const Path&, FileHandle&);                          \
  template bool IsOrdinaryFile(const Path&);                                           \
  template bool RenameNoReplace(const Path&, const Path&, std::string&);               \
  template bool RenameReplacing(const Path&, const Path&, std::string&);               \
  template bool HardLink(const Path&, const Path&, bool&, std::string&);               \
  template bool RemoveFile(const Path&, std::string&);
