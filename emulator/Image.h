// A phone image on disk: the folder holding fs/ (the device file system) and image.sqlite
// (file attributes and times, the device registry and the service stores). One Image is
// shared by every connection of an emulator; the database is guarded by one mutex.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace wmemu {

class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A prepared statement; every failure throws ImageError.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& bind(int i, int64_t v);
  Stmt& bind(int i, double v);
  Stmt& bind(int i, std::string_view text);
  Stmt& bindBlob(int i, const void* p, size_t n);
  Stmt& bindNull(int i);
  // Steps once: true while a row is available.
  bool step();
  void reset();
  int64_t i64(int col) const;
  double real(int col) const;
  std::string text(int col) const;
  std::vector<uint8_t> blob(int col) const;
  // The column's bytes in place, valid until the next step or reset. A text's bytes are
  // followed by a NUL that the view does not count.
  std::string_view textView(int col) const;
  std::span<const uint8_t> blobView(int col) const;
  int type(int col) const;  // SQLITE_INTEGER, SQLITE_FLOAT, ...

 private:
  sqlite3* db_;
  sqlite3_stmt* st_ = nullptr;
};

// A statement the image keeps prepared (Image::Prepare): reset when the handle goes, so that
// it holds no read open between calls.
class PreparedStmt {
 public:
  explicit PreparedStmt(Stmt& st) : st_(&st) {}
  ~PreparedStmt() { st_->reset(); }
  PreparedStmt(const PreparedStmt&) = delete;
  PreparedStmt& operator=(const PreparedStmt&) = delete;
  Stmt* operator->() const { return st_; }
  Stmt& operator*() const { return *st_; }

 private:
  Stmt* st_;
};

class Image {
 public:
  // Opens an existing image (throws ImageError when dir has no image.sqlite), or creates an
  // empty one (fs/ and the schema) when create is set.
  static std::unique_ptr<Image> Open(const std::filesystem::path& dir, bool create = false);
  ~Image();

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path fsRoot() const { return dir_ / "fs"; }

  // The database; use it only while holding mutex().
  sqlite3* db() { return db_; }
  std::mutex& mutex() { return mu_; }
  // Runs fn under the mutex inside one transaction; a throwing fn rolls it back.
  void Transaction(const std::function<void()>& fn);
  // Counts the transactions run through this image: a value read from the database stays
  // good while the count has not moved (a cache's key). Changes made by another process on
  // the same image are not counted.
  uint64_t generation() const { return generation_.load(std::memory_order_acquire); }
  // Runs fn under the mutex without a transaction (reads).
  void Read(const std::function<void()>& fn);
  // The statement for `sql`, prepared on first use and kept for the image's life; use it
  // only while holding mutex() (inside Read or Transaction), like db().
  PreparedStmt Prepare(const char* sql);
  void Exec(const char* sql);  // caller holds the mutex
  // Runs `create` (a store's CREATE ... IF NOT EXISTS transaction) the first time the store
  // named `store` opens this image, not on every request it serves.
  void EnsureSchema(const char* store, const std::function<void()>& create);

  // Facts about the image itself (the preset it was made from, ...), kept in its meta table.
  void SetMeta(const std::string& key, const std::string& value);
  std::optional<std::string> Meta(const std::string& key);

 private:
  Image(std::filesystem::path dir, sqlite3* db) : dir_(std::move(dir)), db_(db) {}
  void CreateSchema();
  void PackRecordProperties();
  std::filesystem::path dir_;
  sqlite3* db_;
  std::mutex mu_;
  std::atomic<uint64_t> generation_{0};
  // Prepared statements by their SQL text; finalized before the database closes.
  std::unordered_map<std::string, std::unique_ptr<Stmt>> stmts_;
  std::unordered_set<std::string> schemas_;  // stores whose schema is in place
};

}  // namespace wmemu
