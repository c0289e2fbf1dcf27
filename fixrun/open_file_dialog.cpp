#include "open_file_dialog.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "current_directory.h"
#include "open_file_request.h"

namespace {

// OPENFILENAME_SIZE_VERSION_400A, the record's first form, which ends with lpTemplateName: the
// one every Windows version takes. The header's macro is no constant expression, hence this.
constexpr DWORD kOpenFileNameSize400 =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName);
static_assert(sizeof(void*) != 4 || kOpenFileNameSize400 == 76,
              "the first form of OPENFILENAMEA is 76 bytes in a 32-bit program");

}  // namespace

void PrepareOpenFileRequest(OpenFileRequest& request, HWND owner, const std::string& caption,
                            const std::string& fileSpec, const std::string& initialDirectory,
                            const std::string& filter, const std::string& defaultExtension,
                            DWORD flags) {
  request.filterList = MakeFilterList(filter);
  CopyBounded(caption, request.caption, sizeof request.caption);
  CopyBounded(initialDirectory.empty() ? CurrentDirectory() : initialDirectory,
              request.initialDirectory, sizeof request.initialDirectory);
  CopyBounded(defaultExtension, request.defaultExtension, sizeof request.defaultExtension);
  FillFileBuffer(fileSpec, request.file, sizeof request.file);
  std::memset(request.fileTitle, 0, sizeof request.fileTitle);

  OPENFILENAMEA& record = request.record;
  std::memset(&record, 0, sizeof record);
  record.lStructSize = kOpenFileNameSize400;
  record.hwndOwner = owner;
  record.lpstrFilter = request.filterList.data();
  record.nFilterIndex = 1;
  record.lpstrFile = request.file;
  record.nMaxFile = sizeof request.file;
  record.lpstrFileTitle = request.fileTitle;
  record.nMaxFileTitle = sizeof request.fileTitle;
  record.lpstrInitialDir = request.initialDirectory;
  record.lpstrTitle = request.caption[0] != '\0' ? request.caption : nullptr;
  record.Flags = flags;
  // Given even when empty: the dialog then adds no extension.
  record.lpstrDefExt = request.defaultExtension;
}

std::int32_t ShowOpenFileDialog(HWND owner, std::string caption, std::string& fileSpec,
                                std::string initialDirectory, std::string filter,
                                std::string defaultExtension, DWORD flags) {
  // About 5 KB of buffers: kept off the stack of a thread that may nest dialogs.
  auto request = std::make_unique<OpenFileRequest>();
  PrepareOpenFileRequest(*request, owner, caption, fileSpec, initialDirectory, filter,
                         defaultExtension, flags);
  const BOOL chosen = GetOpenFileNameA(&request->record);
  fileSpec = TrimTrailingNuls(request->file, sizeof request->file);
  return chosen;
}
