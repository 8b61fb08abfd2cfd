// `qwbdcawm files ...` and `qwbdcawm backup DIR`: the phone's folders, files and storage cards
// through the file table, and copies both ways with a progress bar that Ctrl-C cancels
// through the component's continue flag.
//
// Paths on the phone are the component's host paths: "/My Documents/a.txt" in main memory,
// and the storage card markers "\" (the storage card), "*" (first card) and "*2" (second
// card): "\DCIM\100MEDIA\IMAG0001.jpg", "/*/DCIM/x.jpg".
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "host/Session.h"

namespace qwbhost {

struct PhoneEntry {
  bool folder = false;
  std::string name;
  uint64_t size = 0;
  std::string created, accessed, modified;  // "YYYY-MM-DD HH:MM:SS" as the phone gives them
  double modifiedDate = 0;                  // files: the OLE date (local time)
  unsigned long status = 0;
  long statusIcon = 0;
  unsigned long notAllowed = 0;
  unsigned long folderId = 0;
};

// Splits a phone path into its folder (host form) and name; "/a.txt" -> ("", "a.txt").
std::pair<std::string, std::string> SplitPhonePath(const std::string& path);
// A child's host path: "\" + name under the storage card marker, else "/" joined.
std::string ChildPhonePath(const std::string& folder, const std::string& name);

// The bar: "<label> [####    ] 1.5 MiB / 16.0 MiB  3.2 MiB/s  0:04 left".
std::string RenderTransfer(const std::string& label, uint64_t done, uint64_t total,
                           double seconds, int width);
std::string HumanBytes(uint64_t n);

class FileCommands {
 public:
  FileCommands(Session& session, bool showProgress);
  ~FileCommands();
  FileCommands(const FileCommands&) = delete;
  FileCommands& operator=(const FileCommands&) = delete;

  // A folder's entries; the empty path or "/" is the root with the cards under their markers.
  std::vector<PhoneEntry> List(const std::string& folder);
  void PrintList(const std::string& folder, bool json, bool longFormat, std::ostream& out);
  void PrintFree(std::ostream& out);
  // Copies; each throws HostError on failure and on Ctrl-C (which leaves no partial file).
  void Pull(const std::string& phonePath, const std::filesystem::path& local);
  void Push(const std::filesystem::path& local, const std::string& phonePath);
  void MakeFolder(const std::string& phonePath);
  void Move(const std::string& from, const std::string& to);
  void Copy(const std::string& from, const std::string& to);
  void Remove(const std::string& phonePath);
  // Copies every file below `folder` into `dir`, skipping those whose size and time are as
  // recorded in the manifest `manifest` (not used when empty; `dir` lies below its folder). Returns files copied; adds
  // the files skipped to *skipped.
  size_t Mirror(const std::string& folder, const std::filesystem::path& dir,
                const std::vector<std::string>& excludeFolders,
                const std::filesystem::path& manifest, size_t* skipped);
  // The phone's documents and card roots, for the backup: (host path, local folder name).
  std::vector<std::pair<std::string, std::string>> BackupRoots();

 private:
  struct Sink;
  PhoneEntry Find(const std::string& phonePath);
  void Transfer(IItem* item, bool download, const std::string& label, uint64_t size);

  Session& session_;
  bool showProgress_;
  ComPtr<IDataTable> table_;
  std::unique_ptr<Sink> sink_;
};

// `qwbdcawm backup DIR`.
void RunBackup(Session& session, const std::filesystem::path& dir, bool showProgress);

// The file copies of `qwbdcawm export`: "documents" (My Documents but its pictures) into
// DIR/documents, "pictures" (My Documents/My Pictures and the camera folder of every card)
// into DIR/pictures/<folder>. Copies pulled before with the same size and time are kept
// (DIR/.qwbdcawm-files.json records them). Returns the files copied.
extern const char* const kFolderExportNames[2];
size_t ExportFolder(Session& session, const std::string& name, const std::filesystem::path& dir,
                    bool showProgress);

}  // namespace qwbhost
