// The device file system of a phone image: device paths (backslashes, names matched without
// case, stored with their case) mapped onto fs/, with attributes, the three FILETIMEs and
// object ids kept in image.sqlite, disk space per store (main memory, or a storage card: a
// root folder with the TEMPORARY attribute), and open files with their sharing.
// Every operation answers a Win32 error number: 0 on success.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/Image.h"

namespace wmemu {

// A directory entry as the find calls report it.
struct FileEntry {
  std::u16string name;  // bare name with its stored case
  uint32_t attrs = 0;
  uint64_t ctime = 0, atime = 0, mtime = 0;  // FILETIMEs
  uint64_t size = 0;
  uint32_t oid = 0;
  bool hasChildren = false;  // folders only
};

class DeviceFs {
 public:
  // An open file (CeCreateFile).
  struct OpenFile {
    int fd = -1;
    std::string fold;
    std::filesystem::path host;
    uint32_t access = 0, share = 0;
    uint64_t pos = 0;
    // The store the file is on, once a write has needed it.
    std::optional<std::string> store;
    // The bytes at aheadPos read ahead of the next reads (ReadAhead), while aheadValid;
    // aheadEnd when they reach the end of the file. Any write to the file through any handle
    // drops them.
    std::vector<uint8_t> ahead;
    uint64_t aheadPos = 0;
    bool aheadValid = false, aheadEnd = false;
  };

  explicit DeviceFs(Image& image) : image_(image) {}
  ~DeviceFs();

  static uint64_t Now();  // the current time as a FILETIME

  uint32_t Find(std::u16string_view pattern, std::vector<FileEntry>* out);
  uint32_t CreateDirectory(std::u16string_view path, uint32_t attrs = 0);
  uint32_t RemoveDirectory(std::u16string_view path);
  uint32_t DeleteFile(std::u16string_view path);
  uint32_t CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists);
  uint32_t MoveFile(std::u16string_view from, std::u16string_view to);
  uint32_t DiskFreeSpace(std::u16string_view dir, uint64_t* freeToCaller, uint64_t* total,
                         uint64_t* totalFree);

  uint32_t Open(std::u16string_view path, uint32_t access, uint32_t share, uint32_t disposition,
                uint32_t flagsAndAttributes, std::shared_ptr<OpenFile>* out);
  uint32_t Read(OpenFile& f, uint32_t n, std::vector<uint8_t>* data);
  // Makes sure the next n bytes of f are read ahead of the read that will ask for them: a
  // sequential reader's next reads then take them without going to the file (the device reads
  // its next block while the host is busy with the last one). The file is read a block of
  // several reads at a time.
  void ReadAhead(OpenFile& f, uint32_t n);
  uint32_t Write(OpenFile& f, const uint8_t* p, uint32_t n);
  void Close(const std::shared_ptr<OpenFile>& f);
  uint32_t GetTimes(OpenFile& f, uint64_t* c, uint64_t* a, uint64_t* w);
  // Null pointers leave that time unchanged.
  uint32_t SetTimes(OpenFile& f, const uint64_t* c, const uint64_t* a, const uint64_t* w);

  // The attribute set of a file or folder ("\\" is a folder).
  uint32_t Attributes(std::u16string_view path, uint32_t* attrs);
  uint32_t Size(OpenFile& f, uint64_t* size);
  // Moves the file pointer (method 0 from the start, 1 from the pointer, 2 from the end);
  // beyond the end is allowed, before the start is refused.
  uint32_t Seek(OpenFile& f, int64_t distance, uint32_t method, uint64_t* newPos);
  // Ends the file at its pointer: truncates, or extends with zeros as far as the store has room.
  uint32_t SetEndOfFile(OpenFile& f);

  // Image building: writes a whole file (creating folders along the way) or a folder with
  // the given attributes and times (0 = now).
  void PutFile(std::u16string_view path, const std::vector<uint8_t>& data, uint32_t attrs = 0x20,
               uint64_t time = 0);
  void PutFolder(std::u16string_view path, uint32_t attrs = 0x10, uint64_t time = 0);
  // Capacity in bytes of main memory (store "") or of a card root folder.
  void SetCapacity(std::u16string_view store, uint64_t total);

 private:
  struct Resolved {
    std::vector<std::u16string> comps;  // with the stored case where they exist
    std::filesystem::path host;
    std::string fold;  // "\" + folded components joined by "\"
    bool exists = false;
    bool isDir = false;
  };
  struct Meta {
    uint32_t oid = 0, attrs = 0;
    uint64_t ctime = 0, atime = 0, mtime = 0;
  };
  // The times of a file being written, kept in memory between writes. The first write of a
  // run commits the archive bit and its time; later writes only move the times here, committed
  // when they have run ahead of the stored ones by the store's time resolution, when the last
  // handle on the file closes, and when the image closes. A phone that dies in the middle of a
  // write run keeps every byte it acknowledged (they are in the file itself, and the size is
  // the file's) and a last write time at most that resolution behind.
  struct Written {
    Meta meta;
    Meta saved;  // what image.sqlite holds
  };

  uint32_t Resolve(std::u16string_view path, Resolved* r);
  Meta LoadMeta(const Resolved& r);  // caller holds mu_
  Meta LoadMeta(const std::string& fold, const std::filesystem::path& host, bool isDir);
  void SaveMeta(const std::string& fold, const Meta& m);
  void Touch(const OpenFile& f);                // a write went through f: archive bit and times
  void DropReadAhead(const std::string& fold);  // the file's content changed
  void Commit(std::map<std::string, Written>::iterator it);
  void DropMeta(const std::string& fold, bool withChildren);
  std::string StoreOf(const Resolved& r);
  const std::string& StoreOf(OpenFile& f);
  uint64_t Capacity(const std::string& store);
  uint64_t Used(const std::string& store);
  uint64_t Free(const std::string& store);
  // A change of `delta` bytes made here to a file of `store`, kept in its count.
  void Grew(const std::string& store, int64_t delta);
  // The stores' shape changed (a copy, a move, a new folder, an image put, a failed write):
  // they are measured anew when next asked.
  void Remeasure();
  bool IsOpen(const std::string& fold, bool withChildren) const;
  uint32_t ShareCheck(const std::string& fold, uint32_t access, uint32_t share) const;
  void PutFolders(const std::vector<std::u16string>& comps, size_t n, uint64_t time);

  Image& image_;
  std::mutex mu_;
  std::multimap<std::string, OpenFile*> open_;
  std::map<std::string, Written> written_;  // by fold, files with a handle open
  // The bytes each store holds and its capacity, by store. A store is walked once, when its
  // free space is first wanted, and its count then kept by every change made through here:
  // an upload's first write no longer walks the whole store. Files put into fs/ from outside
  // while the phone runs are counted when the stores are next measured.
  std::map<std::string, uint64_t> used_, capacity_;
};

}  // namespace wmemu
