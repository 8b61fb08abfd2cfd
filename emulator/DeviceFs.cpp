#include "emulator/DeviceFs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "emulator/Text.h"

namespace wmemu {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kDirectory = 0x10,
                   kArchive = 0x20, kTemporary = 0x100;
constexpr uint32_t kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u;
constexpr uint32_t kShareRead = 1, kShareWrite = 2;
constexpr uint32_t kErrFileNotFound = 2, kErrPathNotFound = 3, kErrAccessDenied = 5,
                   kErrNoMoreFiles = 18, kErrGenFailure = 31, kErrSharing = 32, kErrFileExists = 80,
                   kErrInvalidParameter = 87, kErrDiskFull = 112, kErrInvalidName = 123,
                   kErrDirNotEmpty = 145, kErrAlreadyExists = 183, kErrFilenameTooLong = 206, kErrNegativeSeek = 131,
                   kErrDirectory = 267;
constexpr uint64_t kDefaultMainCapacity = 128ull << 20;
constexpr uint64_t kDefaultCardCapacity = 512ull << 20;
// One read answers at most this much, whatever was asked (the frame must stay bounded).
constexpr uint32_t kMaxRead = 16u << 20;
// What a sequential reader has read ahead of it at a time.
constexpr size_t kReadAheadBlock = 64u << 10;
constexpr size_t kMaxPath = 260;
// The resolution of the times a store keeps (two seconds, in FILETIME ticks): how far the
// recorded last write time of a file being written may lag behind its last write.
constexpr uint64_t kTimeResolution = 20000000;

uint64_t ToFileTime(fs::file_time_type t) {
  auto sys = std::chrono::file_clock::to_sys(t);
  auto ticks =
      std::chrono::duration_cast<std::chrono::nanoseconds>(sys.time_since_epoch()).count() / 100;
  return static_cast<uint64_t>(ticks + 116444736000000000ll);
}

// Device paths take either slash.
constexpr std::u16string_view kPathSeparators = u"\\/";

bool ValidName(const std::u16string& n, bool allowWild) {
  if (n == u"." || n == u"..") return false;
  for (char16_t c : n) {
    if (c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|') return false;
    if (!allowWild && (c == u'*' || c == u'?')) return false;
  }
  return true;
}

// The entry of `dir` whose name equals `name` without case.
std::optional<std::string> LookupChild(const fs::path& dir, const std::u16string& name) {
  std::u16string want = Fold(name);
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string n = it->path().filename().string();
    if (Fold(Utf16(n)) == want) return n;
  }
  return std::nullopt;
}

std::string ChildPrefix(const std::string& fold) { return fold == "\\" ? "\\" : fold + "\\"; }

// Wildcard match of folded names: '*' any run, '?' one character.
bool Glob(std::u16string_view p, std::u16string_view s) {
  size_t pi = 0, si = 0, star = std::u16string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == u'?' || p[pi] == s[si])) {
      ++pi, ++si;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      mark = si;
    } else if (star != std::u16string_view::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

// Device pattern semantics: "*.*" matches every name, also those without a dot, and a
// trailing ".*" may match an absent extension.
bool PatternMatch(const std::u16string& foldedPattern, const std::u16string& foldedName) {
  if (foldedPattern == u"*.*" || foldedPattern == u"*") return true;
  if (Glob(foldedPattern, foldedName)) return true;
  if (foldedPattern.size() >= 2 && foldedPattern.ends_with(u".*") &&
      foldedName.find(u'.') == std::u16string::npos)
    return Glob(std::u16string_view(foldedPattern).substr(0, foldedPattern.size() - 2), foldedName);
  return false;
}

uint64_t TreeSize(const fs::path& p) {
  uint64_t total = 0;
  std::error_code ec;
  if (fs::is_regular_file(p, ec)) return fs::file_size(p, ec);
  for (fs::recursive_directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (it->is_regular_file(ec2)) total += it->file_size(ec2);
  }
  return total;
}

}  // namespace

DeviceFs::~DeviceFs() {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto it = written_.begin(); it != written_.end(); ++it) {
    try {
      Commit(it);
    } catch (const std::exception&) {
      // The image is going away unwritable: the data is in the files, the times are lost.
    }
  }
  for (auto& [fold, f] : open_) ::close(f->fd);
}

uint64_t DeviceFs::Now() { return ToFileTime(fs::file_time_type::clock::now()); }

uint32_t DeviceFs::Resolve(std::u16string_view path, Resolved* r) {
  if (path.size() >= kMaxPath) return kErrFilenameTooLong;
  std::vector<std::u16string> parts = SplitPath(path, kPathSeparators);
  r->host = image_.fsRoot();
  r->comps.clear();
  r->fold = "\\";
  r->exists = true;
  r->isDir = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!ValidName(parts[i], false)) return kErrInvalidName;
    bool last = i + 1 == parts.size();
    std::optional<std::string> actual = LookupChild(r->host, parts[i]);
    std::error_code ec;
    if (actual) {
      r->host /= *actual;
      r->comps.push_back(Utf16(*actual));
      r->isDir = fs::is_directory(r->host, ec);
      if (!last && !r->isDir) return kErrPathNotFound;
    } else {
      if (!last) return kErrPathNotFound;
      r->host /= Utf8(parts[i]);
      r->comps.push_back(parts[i]);
      r->exists = false;
      r->isDir = false;
    }
    r->fold = (i == 0 ? "\\" : r->fold + "\\") + FoldUtf8(r->comps.back());
  }
  return 0;
}

DeviceFs::Meta DeviceFs::LoadMeta(const Resolved& r) { return LoadMeta(r.fold, r.host, r.isDir); }

DeviceFs::Meta DeviceFs::LoadMeta(const std::string& fold, const fs::path& host, bool isDir) {
  if (auto w = written_.find(fold); w != written_.end()) return w->second.meta;
  Meta m;
  bool found = false;
  image_.Read([&] {
    auto kept = image_.Prepare("SELECT oid, attrs, ctime, atime, mtime FROM files WHERE fold = ?");
    Stmt& st = *kept;
    st.bind(1, fold);
    if (!st.step()) return;
    m.oid = static_cast<uint32_t>(st.i64(0));
    m.attrs = static_cast<uint32_t>(st.i64(1));
    m.ctime = static_cast<uint64_t>(st.i64(2));
    m.atime = static_cast<uint64_t>(st.i64(3));
    m.mtime = static_cast<uint64_t>(st.i64(4));
    found = true;
  });
  if (found) return m;
  // Something put into fs/ from outside: take its times from the host file.
  std::error_code ec;
  auto t = fs::last_write_time(host, ec);
  m.ctime = m.atime = m.mtime = ec ? Now() : ToFileTime(t);
  m.attrs = isDir ? kDirectory : kArchive;
  image_.Transaction([&] {
    auto kept =
        image_.Prepare("INSERT INTO files(fold, attrs, ctime, atime, mtime) VALUES (?, ?, ?, ?, ?)");
    Stmt& ins = *kept;
    ins.bind(1, fold).bind(2, int64_t(m.attrs)).bind(3, int64_t(m.ctime));
    ins.bind(4, int64_t(m.atime)).bind(5, int64_t(m.mtime));
    ins.step();
    m.oid = static_cast<uint32_t>(sqlite3_last_insert_rowid(image_.db()));
  });
  return m;
}

void DeviceFs::SaveMeta(const std::string& fold, const Meta& m) {
  image_.Transaction([&] {
    auto kept = image_.Prepare(
        "INSERT INTO files(fold, attrs, ctime, atime, mtime) VALUES (?, ?, ?, ?, ?) "
        "ON CONFLICT(fold) DO UPDATE SET attrs = excluded.attrs, ctime = excluded.ctime, "
        "atime = excluded.atime, mtime = excluded.mtime");
    Stmt& up = *kept;
    up.bind(1, fold).bind(2, int64_t(m.attrs)).bind(3, int64_t(m.ctime));
    up.bind(4, int64_t(m.atime)).bind(5, int64_t(m.mtime));
    up.step();
  });
  if (auto w = written_.find(fold); w != written_.end()) w->second.meta = w->second.saved = m;
}

void DeviceFs::DropMeta(const std::string& fold, bool withChildren) {
  image_.Transaction([&] {
    auto delKept = image_.Prepare("DELETE FROM files WHERE fold = ?");
    Stmt& del = *delKept;
    del.bind(1, fold);
    del.step();
    if (!withChildren) return;
    auto kidsKept = image_.Prepare("DELETE FROM files WHERE substr(fold, 1, length(?1)) = ?1");
    Stmt& kids = *kidsKept;
    kids.bind(1, ChildPrefix(fold));
    kids.step();
  });
  written_.erase(fold);
  if (!withChildren) return;
  const std::string prefix = ChildPrefix(fold);
  for (auto it = written_.lower_bound(prefix);
       it != written_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
    it = written_.erase(it);
}

void DeviceFs::Touch(const OpenFile& f) {
  const uint64_t now = Now();
  auto it = written_.find(f.fold);
  if (it == written_.end()) {
    Meta stored = LoadMeta(f.fold, f.host, false);
    it = written_.emplace(f.fold, Written{stored, stored}).first;
  }
  Meta& m = it->second.meta;
  m.mtime = m.atime = now;
  m.attrs |= kArchive;
  const Meta& saved = it->second.saved;
  // Unsigned: a recorded time ahead of now (set by hand) is committed over at once too.
  if (m.attrs != saved.attrs || m.mtime - saved.mtime >= kTimeResolution) Commit(it);
}

void DeviceFs::Commit(std::map<std::string, Written>::iterator it) {
  const Written& w = it->second;
  if (w.meta.attrs == w.saved.attrs && w.meta.ctime == w.saved.ctime &&
      w.meta.atime == w.saved.atime && w.meta.mtime == w.saved.mtime)
    return;
  SaveMeta(it->first, Meta(w.meta));
}

std::string DeviceFs::StoreOf(const Resolved& r) {
  if (r.comps.empty()) return "";
  fs::path rootHost = image_.fsRoot() / Utf8(r.comps[0]);
  std::error_code ec;
  if (!fs::is_directory(rootHost, ec)) return "";
  std::string fold = "\\" + FoldUtf8(r.comps[0]);
  if (LoadMeta(fold, rootHost, true).attrs & kTemporary) return FoldUtf8(r.comps[0]);
  return "";
}

const std::string& DeviceFs::StoreOf(OpenFile& f) {
  if (!f.store) {
    Resolved r;
    f.store = Resolve(Utf16(f.fold), &r) == 0 ? StoreOf(r) : std::string();
  }
  return *f.store;
}

uint64_t DeviceFs::Capacity(const std::string& store) {
  if (auto kept = capacity_.find(store); kept != capacity_.end()) return kept->second;
  std::optional<uint64_t> total;
  image_.Read([&] {
    auto stKept = image_.Prepare("SELECT total FROM stores WHERE fold = ?");
    Stmt& st = *stKept;
    st.bind(1, store);
    if (st.step()) total = static_cast<uint64_t>(st.i64(0));
  });
  const uint64_t capacity =
      total ? *total : (store.empty() ? kDefaultMainCapacity : kDefaultCardCapacity);
  capacity_.emplace(store, capacity);
  return capacity;
}

uint64_t DeviceFs::Used(const std::string& store) {
  if (auto kept = used_.find(store); kept != used_.end()) return kept->second;
  fs::path root = image_.fsRoot();
  std::error_code ec;
  uint64_t total = 0;
  if (!store.empty()) {
    auto actual = LookupChild(root, Utf16(store));
    total = actual ? TreeSize(root / *actual) : 0;
  } else {
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ec2;
      if (it->is_directory(ec2)) {
        std::string fold = "\\" + FoldUtf8(Utf16(it->path().filename().string()));
        if (LoadMeta(fold, it->path(), true).attrs & kTemporary) continue;
      }
      total += TreeSize(it->path());
    }
  }
  used_.emplace(store, total);
  return total;
}

uint64_t DeviceFs::Free(const std::string& store) {
  uint64_t cap = Capacity(store), used = Used(store);
  return used >= cap ? 0 : cap - used;
}

void DeviceFs::Grew(const std::string& store, int64_t delta) {
  auto kept = used_.find(store);
  if (kept == used_.end()) return;  // not measured yet: the walk will count it
  if (delta < 0 && static_cast<uint64_t>(-delta) > kept->second) {
    used_.erase(kept);  // the count went wrong somewhere: measure again
    return;
  }
  kept->second += static_cast<uint64_t>(delta);
}

void DeviceFs::Remeasure() { used_.clear(); }

bool DeviceFs::IsOpen(const std::string& fold, bool withChildren) const {
  if (open_.count(fold)) return true;
  if (!withChildren) return false;
  std::string prefix = ChildPrefix(fold);
  for (auto it = open_.lower_bound(prefix); it != open_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    return true;
  }
  return false;
}

uint32_t DeviceFs::ShareCheck(const std::string& fold, uint32_t access, uint32_t share) const {
  auto [b, e] = open_.equal_range(fold);
  for (auto it = b; it != e; ++it) {
    const OpenFile& o = *it->second;
    if ((access & kGenericRead) && !(o.share & kShareRead)) return kErrSharing;
    if ((access & kGenericWrite) && !(o.share & kShareWrite)) return kErrSharing;
    if ((o.access & kGenericRead) && !(share & kShareRead)) return kErrSharing;
    if ((o.access & kGenericWrite) && !(share & kShareWrite)) return kErrSharing;
  }
  return 0;
}

uint32_t DeviceFs::Find(std::u16string_view pattern, std::vector<FileEntry>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  out->clear();
  std::vector<std::u16string> parts = SplitPath(pattern, kPathSeparators);
  if (parts.empty()) return kErrNoMoreFiles;
  std::u16string last = parts.back();
  if (!ValidName(last, true)) return kErrInvalidName;
  parts.pop_back();
  std::u16string folder;
  for (auto& p : parts) folder += u"\\" + p;
  Resolved dir;
  if (uint32_t err = Resolve(folder, &dir)) return err;
  if (!dir.exists || !dir.isDir) return kErrPathNotFound;
  std::u16string pat = Fold(last);
  bool wild = last.find_first_of(u"*?") != std::u16string::npos;
  std::vector<std::pair<std::u16string, FileEntry>> found;
  std::error_code ec;
  for (fs::directory_iterator it(dir.host, ec), end; !ec && it != end; it.increment(ec)) {
    std::u16string name = Utf16(it->path().filename().string());
    std::u16string fname = Fold(name);
    if (wild ? !PatternMatch(pat, fname) : fname != pat) continue;
    std::error_code ec2;
    bool isDir = it->is_directory(ec2);
    std::string fold = ChildPrefix(dir.fold) + Utf8(fname);
    Meta m = LoadMeta(fold, it->path(), isDir);
    FileEntry e;
    e.name = name;
    e.attrs = m.attrs;
    e.ctime = m.ctime;
    e.atime = m.atime;
    e.mtime = m.mtime;
    e.oid = m.oid;
    if (isDir) {
      e.hasChildren = !fs::is_empty(it->path(), ec2);
    } else {
      e.size = it->file_size(ec2);
    }
    found.emplace_back(fname, std::move(e));
  }
  if (found.empty()) return kErrNoMoreFiles;
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& f : found) out->push_back(std::move(f.second));
  return 0;
}

uint32_t DeviceFs::CreateDirectory(std::u16string_view path, uint32_t attrs) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved r;
  if (uint32_t err = Resolve(path, &r)) return err;
  if (r.exists) return kErrAlreadyExists;
  std::error_code ec;
  if (!fs::create_directory(r.host, ec)) return kErrAccessDenied;
  uint64_t now = Now();
  SaveMeta(r.fold,
           {0, kDirectory | (attrs & (kReadOnly | kHidden | kSystem | kTemporary)), now, now, now});
  return 0;
}

uint32_t DeviceFs::RemoveDirectory(std::u16string_view path) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved r;
  if (uint32_t err = Resolve(path, &r)) return err;
  if (r.comps.empty()) return kErrAccessDenied;
  if (!r.exists) return kErrFileNotFound;
  if (!r.isDir) return kErrDirectory;
  Meta m = LoadMeta(r);
  if ((m.attrs & kReadOnly) || (r.comps.size() == 1 && (m.attrs & kTemporary)))
    return kErrAccessDenied;
  std::error_code ec;
  if (!fs::is_empty(r.host, ec)) return kErrDirNotEmpty;
  if (!fs::remove(r.host, ec)) return kErrAccessDenied;
  DropMeta(r.fold, true);
  return 0;
}

uint32_t DeviceFs::DeleteFile(std::u16string_view path) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved r;
  if (uint32_t err = Resolve(path, &r)) return err;
  if (r.comps.empty()) return kErrAccessDenied;
  if (!r.exists) return kErrFileNotFound;
  if (r.isDir) return kErrAccessDenied;
  if (LoadMeta(r).attrs & kReadOnly) return kErrAccessDenied;
  if (IsOpen(r.fold, false)) return kErrSharing;
  std::error_code ec;
  const uint64_t size = fs::file_size(r.host, ec);
  if (ec) Remeasure();
  if (!fs::remove(r.host, ec)) return kErrAccessDenied;
  if (size > 0) Grew(StoreOf(r), -static_cast<int64_t>(size));
  DropMeta(r.fold, false);
  return 0;
}

uint32_t DeviceFs::CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved src, dst;
  if (uint32_t err = Resolve(from, &src)) return err;
  if (!src.exists) return kErrFileNotFound;
  if (src.isDir) return kErrAccessDenied;
  if (uint32_t err = Resolve(to, &dst)) return err;
  if (dst.comps.empty()) return kErrAccessDenied;
  if (src.fold == dst.fold) return kErrSharing;
  std::error_code ec;
  uint64_t srcSize = fs::file_size(src.host, ec);
  uint64_t reuse = 0;
  Meta dm;
  if (dst.exists) {
    if (dst.isDir) return kErrAccessDenied;
    if (failIfExists) return kErrFileExists;
    dm = LoadMeta(dst);
    if (dm.attrs & kReadOnly) return kErrAccessDenied;
    if (IsOpen(dst.fold, false)) return kErrSharing;
    reuse = fs::file_size(dst.host, ec);
  }
  if (ShareCheck(src.fold, kGenericRead, kShareRead)) return kErrSharing;
  std::string store = StoreOf(dst);
  if (StoreOf(src) != store) reuse = dst.exists ? reuse : 0;
  if (srcSize > reuse && srcSize - reuse > Free(store)) return kErrDiskFull;
  Remeasure();
  if (!fs::copy_file(src.host, dst.host, fs::copy_options::overwrite_existing, ec))
    return kErrAccessDenied;
  Meta sm = LoadMeta(src);
  uint64_t now = Now();
  // A copy keeps the attributes and the last write time, and is created now.
  SaveMeta(dst.fold, {0, sm.attrs | kArchive, now, now, sm.mtime});
  return 0;
}

uint32_t DeviceFs::MoveFile(std::u16string_view from, std::u16string_view to) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved src, dst;
  if (uint32_t err = Resolve(from, &src)) return err;
  if (!src.exists) return kErrFileNotFound;
  if (src.comps.empty()) return kErrAccessDenied;
  if (src.comps.size() == 1 && src.isDir && (LoadMeta(src).attrs & kTemporary))
    return kErrAccessDenied;
  if (uint32_t err = Resolve(to, &dst)) return err;
  if (dst.comps.empty()) return kErrAlreadyExists;
  if (dst.exists && dst.fold != src.fold) return kErrAlreadyExists;
  if (dst.fold.compare(0, ChildPrefix(src.fold).size(), ChildPrefix(src.fold)) == 0)
    return kErrInvalidParameter;
  if (IsOpen(src.fold, true)) return kErrSharing;
  std::string dstStore = StoreOf(dst);
  if (StoreOf(src) != dstStore && TreeSize(src.host) > Free(dstStore)) return kErrDiskFull;
  // A rename that only changes case takes the new spelling.
  if (dst.fold == src.fold)
    dst.host = dst.host.parent_path() / Utf8(SplitPath(to, kPathSeparators).back());
  std::error_code ec;
  if (StoreOf(src) != dstStore) Remeasure();
  fs::rename(src.host, dst.host, ec);
  if (ec) return kErrAccessDenied;
  if (src.fold != dst.fold) {
    image_.Transaction([&] {
      auto delKept =
          image_.Prepare("DELETE FROM files WHERE fold = ?1 OR substr(fold, 1, length(?2)) = ?2");
      Stmt& del = *delKept;
      del.bind(1, dst.fold).bind(2, ChildPrefix(dst.fold));
      del.step();
      auto upKept = image_.Prepare(
          "UPDATE files SET fold = ?1 || substr(fold, length(?2) + 1) "
          "WHERE fold = ?2 OR substr(fold, 1, length(?3)) = ?3");
      Stmt& up = *upKept;
      up.bind(1, dst.fold).bind(2, src.fold).bind(3, ChildPrefix(src.fold));
      up.step();
    });
  }
  return 0;
}

uint32_t DeviceFs::DiskFreeSpace(std::u16string_view dir, uint64_t* freeToCaller, uint64_t* total,
                                 uint64_t* totalFree) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved r;
  if (uint32_t err = Resolve(dir, &r)) return err;
  if (!r.exists || !r.isDir) return kErrPathNotFound;
  std::string store = StoreOf(r);
  *total = Capacity(store);
  *totalFree = *freeToCaller = Free(store);
  return 0;
}

uint32_t DeviceFs::Open(std::u16string_view path, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flagsAndAttributes,
                        std::shared_ptr<OpenFile>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  if (disposition < 1 || disposition > 6) return kErrInvalidParameter;
  Resolved r;
  if (uint32_t err = Resolve(path, &r)) return err;
  if (r.comps.empty()) return kErrAccessDenied;
  if (r.exists && r.isDir) return kErrAccessDenied;
  const bool truncate = disposition == 2 || disposition == 5;
  if (disposition == 5 && !(access & kGenericWrite)) return kErrInvalidParameter;
  uint64_t now = Now();
  int flags = (access & kGenericWrite) ? O_RDWR : O_RDONLY;
  Meta m;
  if (r.exists) {
    if (disposition == 1) return kErrFileExists;
    m = LoadMeta(r);
    if ((m.attrs & kReadOnly) && ((access & kGenericWrite) || truncate)) return kErrAccessDenied;
    if (ShareCheck(r.fold, access, share)) return kErrSharing;
    if (truncate) {
      flags = O_RDWR | O_TRUNC;
      m.mtime = m.atime = now;
      m.attrs |= kArchive;
    }
  } else {
    if (disposition == 3 || disposition == 5 || disposition == 6) return kErrFileNotFound;
    flags = O_RDWR | O_CREAT | O_EXCL;
    m = {0, (flagsAndAttributes & (kReadOnly | kHidden | kSystem)) | kArchive, now, now, now};
  }
  uint64_t dropped = 0;  // what truncating the file frees
  if (r.exists && truncate) {
    std::error_code ec;
    dropped = fs::file_size(r.host, ec);
    if (ec) {
      dropped = 0;
      Remeasure();
    }
  }
  int fd = ::open(r.host.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return r.exists ? kErrAccessDenied : kErrGenFailure;
  if (dropped > 0) Grew(StoreOf(r), -static_cast<int64_t>(dropped));
  if (truncate) DropReadAhead(r.fold);
  if (!r.exists || truncate) SaveMeta(r.fold, m);
  auto f = std::make_shared<OpenFile>();
  f->fd = fd;
  f->fold = r.fold;
  f->host = r.host;
  f->access = access;
  f->share = share;
  open_.emplace(r.fold, f.get());
  *out = std::move(f);
  return 0;
}

void DeviceFs::DropReadAhead(const std::string& fold) {
  auto [b, e] = open_.equal_range(fold);
  for (auto it = b; it != e; ++it) it->second->aheadValid = false;
}

void DeviceFs::ReadAhead(OpenFile& f, uint32_t n) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!(f.access & kGenericRead) || f.fd < 0) return;
  const size_t want = std::min(n, kMaxRead);
  if (f.aheadValid && f.pos >= f.aheadPos && f.pos - f.aheadPos <= f.ahead.size() &&
      (f.aheadEnd || f.pos - f.aheadPos + want <= f.ahead.size()))
    return;  // still held
  f.aheadValid = false;
  // One block for many reads: a 4 KiB reader costs the file one read per 64 KiB.
  const size_t block = std::max(want, kReadAheadBlock);
  f.ahead.resize(block);
  size_t done = 0;
  while (done < block) {
    ssize_t got = ::pread(f.fd, f.ahead.data() + done, block - done,
                          static_cast<off_t>(f.pos + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return;  // the read itself will meet the failure
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  f.ahead.resize(done);
  f.aheadPos = f.pos;
  f.aheadEnd = done < block;
  f.aheadValid = true;
}

uint32_t DeviceFs::Read(OpenFile& f, uint32_t n, std::vector<uint8_t>* data) {
  std::lock_guard<std::mutex> lock(mu_);
  data->clear();
  if (!(f.access & kGenericRead)) return kErrAccessDenied;
  const size_t want = std::min(n, kMaxRead);
  if (f.aheadValid && f.pos >= f.aheadPos && f.pos - f.aheadPos <= f.ahead.size()) {
    // Read ahead: what it holds of the wanted bytes answers when that is all of them, or all
    // the file has.
    const size_t at = static_cast<size_t>(f.pos - f.aheadPos);
    const size_t held = std::min(want, f.ahead.size() - at);
    if (held == want || f.aheadEnd) {
      data->assign(f.ahead.begin() + static_cast<ptrdiff_t>(at),
                   f.ahead.begin() + static_cast<ptrdiff_t>(at + held));
      f.pos += held;
      return 0;
    }
  }
  f.aheadValid = false;
  data->resize(want);
  size_t done = 0;
  while (done < data->size()) {
    ssize_t got =
        ::pread(f.fd, data->data() + done, data->size() - done, static_cast<off_t>(f.pos + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      data->clear();
      return kErrGenFailure;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  data->resize(done);
  f.pos += done;
  return 0;
}

uint32_t DeviceFs::Write(OpenFile& f, const uint8_t* p, uint32_t n) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!(f.access & kGenericWrite)) return kErrAccessDenied;
  struct stat st;
  if (::fstat(f.fd, &st) != 0) return kErrGenFailure;
  uint64_t size = static_cast<uint64_t>(st.st_size), end = f.pos + n;
  const uint64_t growth = end > size ? end - size : 0;
  if (growth > 0 && growth > Free(StoreOf(f))) return kErrDiskFull;
  // The write is acknowledged once its bytes are in the file, in the kernel's cache: an
  // emulator killed after the reply keeps them, as a phone that loses its cable or its host
  // keeps what it confirmed. There is no sync to the disk per write or per file: that would
  // only guard against the PC itself losing power, and a phone's own store does not promise
  // that either (it flushes its cache when it gets round to it; an application that needs
  // more asks for it).
  size_t done = 0;
  while (done < n) {
    ssize_t w = ::pwrite(f.fd, p + done, n - done, static_cast<off_t>(f.pos + done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (done > 0) Remeasure();  // part of it went in
      return kErrGenFailure;
    }
    done += static_cast<size_t>(w);
  }
  if (growth > 0) Grew(StoreOf(f), static_cast<int64_t>(growth));
  f.pos += n;
  DropReadAhead(f.fold);
  Touch(f);
  return 0;
}

void DeviceFs::Close(const std::shared_ptr<OpenFile>& f) {
  std::lock_guard<std::mutex> lock(mu_);
  auto [b, e] = open_.equal_range(f->fold);
  for (auto it = b; it != e; ++it) {
    if (it->second == f.get()) {
      open_.erase(it);
      break;
    }
  }
  if (f->fd >= 0) ::close(f->fd);
  f->fd = -1;
  // The last handle on a file written through brings its recorded times up to date.
  if (auto w = written_.find(f->fold); w != written_.end() && !open_.count(f->fold)) {
    try {
      Commit(w);
    } catch (const std::exception&) {
      // Left for the next close or the image's end: the handle is closed either way.
      return;
    }
    written_.erase(w);
  }
}

uint32_t DeviceFs::GetTimes(OpenFile& f, uint64_t* c, uint64_t* a, uint64_t* w) {
  std::lock_guard<std::mutex> lock(mu_);
  Meta m = LoadMeta(f.fold, f.host, false);
  *c = m.ctime;
  *a = m.atime;
  *w = m.mtime;
  return 0;
}

uint32_t DeviceFs::SetTimes(OpenFile& f, const uint64_t* c, const uint64_t* a, const uint64_t* w) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!(f.access & kGenericWrite)) return kErrAccessDenied;
  Meta m = LoadMeta(f.fold, f.host, false);
  if (c) m.ctime = *c;
  if (a) m.atime = *a;
  if (w) m.mtime = *w;
  SaveMeta(f.fold, m);
  return 0;
}

uint32_t DeviceFs::Attributes(std::u16string_view path, uint32_t* attrs) {
  std::lock_guard<std::mutex> lock(mu_);
  Resolved r;
  if (uint32_t err = Resolve(path, &r)) return err;
  if (r.comps.empty()) {
    *attrs = kDirectory;
    return 0;
  }
  if (!r.exists) return kErrFileNotFound;
  Meta m = LoadMeta(r);
  *attrs = r.isDir ? (m.attrs | kDirectory) : (m.attrs & ~kDirectory);
  return 0;
}

uint32_t DeviceFs::Size(OpenFile& f, uint64_t* size) {
  std::lock_guard<std::mutex> lock(mu_);
  struct stat st;
  if (::fstat(f.fd, &st) != 0) return kErrGenFailure;
  *size = static_cast<uint64_t>(st.st_size);
  return 0;
}

uint32_t DeviceFs::Seek(OpenFile& f, int64_t distance, uint32_t method, uint64_t* newPos) {
  std::lock_guard<std::mutex> lock(mu_);
  int64_t base;
  switch (method) {
    case 0:
      base = 0;
      break;
    case 1:
      base = static_cast<int64_t>(f.pos);
      break;
    case 2: {
      struct stat st;
      if (::fstat(f.fd, &st) != 0) return kErrGenFailure;
      base = st.st_size;
      break;
    }
    default:
      return kErrInvalidParameter;
  }
  int64_t pos;
  if (__builtin_add_overflow(base, distance, &pos) || pos < 0) return kErrNegativeSeek;
  f.pos = static_cast<uint64_t>(pos);
  *newPos = f.pos;
  return 0;
}

uint32_t DeviceFs::SetEndOfFile(OpenFile& f) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!(f.access & kGenericWrite)) return kErrAccessDenied;
  struct stat st;
  if (::fstat(f.fd, &st) != 0) return kErrGenFailure;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (f.pos > size && f.pos - size > Free(StoreOf(f))) return kErrDiskFull;
  if (f.pos > static_cast<uint64_t>(INT64_MAX) || ::ftruncate(f.fd, static_cast<off_t>(f.pos)) != 0)
    return kErrDiskFull;
  Grew(StoreOf(f), static_cast<int64_t>(f.pos) - static_cast<int64_t>(size));
  DropReadAhead(f.fold);
  Meta m = LoadMeta(f.fold, f.host, false);
  m.mtime = m.atime = Now();
  m.attrs |= kArchive;
  SaveMeta(f.fold, m);
  return 0;
}

void DeviceFs::PutFolders(const std::vector<std::u16string>& comps, size_t n, uint64_t time) {
  std::u16string path;
  for (size_t i = 0; i < n; ++i) {
    path += u"\\" + comps[i];
    Resolved r;
    if (Resolve(path, &r)) throw ImageError("bad image path: " + Utf8(path));
    if (r.exists) continue;
    std::error_code ec;
    fs::create_directory(r.host, ec);
    if (ec) throw ImageError("cannot create " + r.host.string() + ": " + ec.message());
    SaveMeta(r.fold, {0, kDirectory, time, time, time});
  }
}

void DeviceFs::PutFile(std::u16string_view path, const std::vector<uint8_t>& data, uint32_t attrs,
                       uint64_t time) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!time) time = Now();
  auto comps = SplitPath(path, kPathSeparators);
  if (comps.empty()) throw ImageError("empty image path");
  PutFolders(comps, comps.size() - 1, time);
  Resolved r;
  if (Resolve(path, &r)) throw ImageError("bad image path: " + Utf8(path));
  Remeasure();
  std::ofstream out(r.host, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw ImageError("cannot write " + r.host.string());
  DropReadAhead(r.fold);
  SaveMeta(r.fold, {0, attrs & ~kDirectory, time, time, time});
}

void DeviceFs::PutFolder(std::u16string_view path, uint32_t attrs, uint64_t time) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!time) time = Now();
  auto comps = SplitPath(path, kPathSeparators);
  PutFolders(comps, comps.size(), time);
  Remeasure();  // a root folder may have become a store of its own
  Resolved r;
  if (Resolve(path, &r)) throw ImageError("bad image path: " + Utf8(path));
  SaveMeta(r.fold, {0, attrs | kDirectory, time, time, time});
}

void DeviceFs::SetCapacity(std::u16string_view store, uint64_t total) {
  std::lock_guard<std::mutex> lock(mu_);
  capacity_.erase(FoldUtf8(store));
  image_.Transaction([&] {
    auto stKept = image_.Prepare("INSERT OR REPLACE INTO stores(fold, total) VALUES (?, ?)");
    Stmt& st = *stKept;
    st.bind(1, FoldUtf8(store)).bind(2, static_cast<int64_t>(total));
    st.step();
  });
}

}  // namespace wmemu
