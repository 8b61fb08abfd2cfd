#include "emulator/Image.h"

#include "link/DeviceRecord.h"
#include "platform/util/LittleEndian.h"

namespace wmemu {

namespace {
[[noreturn]] void Fail(sqlite3* db, const char* what) {
  throw ImageError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}
}  // namespace

Stmt::Stmt(sqlite3* db, const char* sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) Fail(db, "prepare");
}
Stmt::~Stmt() { sqlite3_finalize(st_); }

Stmt& Stmt::bind(int i, int64_t v) {
  if (sqlite3_bind_int64(st_, i, v) != SQLITE_OK) Fail(db_, "bind");
  return *this;
}
Stmt& Stmt::bind(int i, double v) {
  if (sqlite3_bind_double(st_, i, v) != SQLITE_OK) Fail(db_, "bind");
  return *this;
}
Stmt& Stmt::bind(int i, std::string_view t) {
  if (sqlite3_bind_text(st_, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    Fail(db_, "bind");
  return *this;
}
Stmt& Stmt::bindBlob(int i, const void* p, size_t n) {
  static const uint8_t kEmpty = 0;
  if (sqlite3_bind_blob(st_, i, n ? p : &kEmpty, static_cast<int>(n), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    Fail(db_, "bind");
  return *this;
}
Stmt& Stmt::bindNull(int i) {
  if (sqlite3_bind_null(st_, i) != SQLITE_OK) Fail(db_, "bind");
  return *this;
}
bool Stmt::step() {
  int r = sqlite3_step(st_);
  if (r == SQLITE_ROW) return true;
  if (r == SQLITE_DONE) return false;
  Fail(db_, "step");
}
void Stmt::reset() {
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
}
int64_t Stmt::i64(int c) const { return sqlite3_column_int64(st_, c); }
double Stmt::real(int c) const { return sqlite3_column_double(st_, c); }
std::string Stmt::text(int c) const {
  const unsigned char* p = sqlite3_column_text(st_, c);
  return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(st_, c))
           : std::string();
}
std::vector<uint8_t> Stmt::blob(int c) const {
  const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(st_, c));
  int n = sqlite3_column_bytes(st_, c);
  return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}
std::string_view Stmt::textView(int c) const {
  const unsigned char* p = sqlite3_column_text(st_, c);
  return p ? std::string_view(reinterpret_cast<const char*>(p),
                              static_cast<size_t>(sqlite3_column_bytes(st_, c)))
           : std::string_view("", 0);
}
std::span<const uint8_t> Stmt::blobView(int c) const {
  const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(st_, c));
  return p ? std::span<const uint8_t>(p, static_cast<size_t>(sqlite3_column_bytes(st_, c)))
           : std::span<const uint8_t>();
}
int Stmt::type(int c) const { return sqlite3_column_type(st_, c); }

std::unique_ptr<Image> Image::Open(const std::filesystem::path& dir, bool create) {
  namespace fs = std::filesystem;
  fs::path dbPath = dir / "image.sqlite";
  std::error_code ec;
  if (!create) {
    if (!fs::is_regular_file(dbPath, ec) || !fs::is_directory(dir / "fs", ec))
      throw ImageError("not a phone image (no image.sqlite and fs/): " + dir.string());
  } else {
    fs::create_directories(dir / "fs", ec);
    if (ec) throw ImageError("cannot create " + (dir / "fs").string() + ": " + ec.message());
  }
  sqlite3* db = nullptr;
  // The connection is only ever used under mu_ (Read, Transaction, callers of db()), so
  // SQLite's own per-call connection mutex would only be paid for on every column read.
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(dbPath.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw ImageError("cannot open " + dbPath.string() + ": " + msg);
  }
  std::unique_ptr<Image> img(new Image(dir, db));
  sqlite3_busy_timeout(db, 5000);
  std::lock_guard<std::mutex> lock(img->mu_);
  // Durability: every change is one transaction, committed before its reply goes out. In WAL
  // mode the commit has written the transaction to image.sqlite-wal when it returns, so an
  // emulator killed at any point (SIGKILL included) loses nothing it acknowledged and the
  // next open recovers the log. synchronous=NORMAL syncs at checkpoints only: enough for a
  // killed process, whose writes the kernel keeps; only a power cut of the PC could lose the
  // last commits (never the image's consistency), which FULL would also cover at a cost per
  // write.
  //
  // One emulator holds an image at a time, as one host holds a phone on its cable: the
  // database is locked for the emulator's whole life (a second one opening it waits up to the
  // busy time-out, then fails with a clear error). Holding it lets every read skip the file
  // locks a shared database takes per transaction, most of what a record read cost.
  try {
    img->Exec("PRAGMA locking_mode=EXCLUSIVE");
    img->Exec("PRAGMA journal_mode=WAL");
    img->Exec("PRAGMA synchronous=NORMAL");
    img->Exec("PRAGMA cache_size=-16384");
    img->CreateSchema();
  } catch (const ImageError&) {
    if (sqlite3_errcode(db) == SQLITE_BUSY)
      throw ImageError("the phone image " + dir.string() + " is in use by another emulator");
    throw;
  }
  return img;
}

Image::~Image() {
  stmts_.clear();
  sqlite3_close(db_);
}

PreparedStmt Image::Prepare(const char* sql) {
  auto it = stmts_.find(sql);
  if (it == stmts_.end()) it = stmts_.emplace(sql, std::make_unique<Stmt>(db_, sql)).first;
  return PreparedStmt(*it->second);
}

void Image::Exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err ? err : "unknown";
    sqlite3_free(err);
    throw ImageError(std::string("exec: ") + msg);
  }
}

void Image::CreateSchema() {
  Exec(R"(
    CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value);
    -- Attributes and the three FILETIMEs of device files, keyed by the case-folded device path.
    CREATE TABLE IF NOT EXISTS files(oid INTEGER PRIMARY KEY AUTOINCREMENT,
                                     fold TEXT NOT NULL UNIQUE, attrs INTEGER NOT NULL,
                                     ctime INTEGER NOT NULL, atime INTEGER NOT NULL,
                                     mtime INTEGER NOT NULL);
    -- Capacity of each store: '' is main memory, otherwise the folded card root name.
    CREATE TABLE IF NOT EXISTS stores(fold TEXT PRIMARY KEY, total INTEGER NOT NULL);
    CREATE TABLE IF NOT EXISTS reg_keys(id INTEGER PRIMARY KEY AUTOINCREMENT,
                                        root INTEGER NOT NULL, path TEXT NOT NULL,
                                        fold TEXT NOT NULL, UNIQUE(root, fold));
    CREATE TABLE IF NOT EXISTS reg_values(key INTEGER NOT NULL, name TEXT NOT NULL,
                                          fold TEXT NOT NULL, type INTEGER NOT NULL,
                                          data BLOB NOT NULL, PRIMARY KEY(key, fold));
    -- Service store records (kind 3 = tasks): each with its properties packed in order, as
    -- a reply carries them (RecordStore).
    CREATE TABLE IF NOT EXISTS records(id INTEGER PRIMARY KEY AUTOINCREMENT,
                                       kind INTEGER NOT NULL, props BLOB NOT NULL DEFAULT x'');
    -- The phonebook's contact categories and speed dials (contacts are records of kind 1).
    CREATE TABLE IF NOT EXISTS categories(id INTEGER PRIMARY KEY AUTOINCREMENT,
                                          name TEXT NOT NULL);
    CREATE TABLE IF NOT EXISTS speed_dials(number INTEGER PRIMARY KEY,
                                           entry_id INTEGER NOT NULL,
                                           property_id INTEGER NOT NULL,
                                           name TEXT NOT NULL, telephone TEXT NOT NULL);
    -- Programs the phone can start (folded device paths) and every start it was asked for.
    CREATE TABLE IF NOT EXISTS programs(fold TEXT PRIMARY KEY);
    CREATE TABLE IF NOT EXISTS process_log(id INTEGER PRIMARY KEY AUTOINCREMENT,
                                           program TEXT NOT NULL, command_line TEXT NOT NULL,
                                           time INTEGER NOT NULL);
    INSERT OR IGNORE INTO reg_keys(root, path, fold) VALUES
      (2147483648, '', ''), (2147483649, '', ''), (2147483650, '', ''), (2147483651, '', '');
  )");
  PackRecordProperties();
}

// Images made before records were kept packed hold their properties one row each, in
// record_props(id, seq, name, type, value) with the value in its SQLite type. They are packed
// once, in one transaction, the way a reply carries them; then record_props goes.
void Image::PackRecordProperties() {
  Stmt old(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'record_props'");
  if (!old.step()) return;
  old.reset();
  Exec("BEGIN IMMEDIATE");
  try {
    Stmt hasColumn(db_, "SELECT 1 FROM pragma_table_info('records') WHERE name = 'props'");
    if (!hasColumn.step()) Exec("ALTER TABLE records ADD COLUMN props BLOB NOT NULL DEFAULT x''");
    Stmt rows(db_, "SELECT id, name, type, value FROM record_props ORDER BY id, seq");
    Stmt put(db_, "UPDATE records SET props = ? WHERE id = ?");
    std::vector<uint8_t> packed;
    int64_t current = -1;
    auto flush = [&] {
      if (current < 0) return;
      put.reset();
      put.bindBlob(1, packed.data(), packed.size()).bind(2, current);
      put.step();
      packed.clear();
    };
    while (rows.step()) {
      if (rows.i64(0) != current) {
        flush();
        current = rows.i64(0);
      }
      // The value in its SQLite type, as the bytes of its property type.
      const auto type = static_cast<uint32_t>(rows.i64(2));
      uint8_t fixed[8];
      std::string text;
      std::vector<uint8_t> bytes;
      std::span<const uint8_t> value;
      switch (type) {
        case devrec::kTypeString:
          text = rows.text(3);
          value = {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
          break;
        case devrec::kTypeDate:
          le::PutDouble(fixed, rows.real(3));
          value = {fixed, 8};
          break;
        case devrec::kTypeInteger:
        case devrec::kTypeBoolean:  // cut to its two low bytes when appended
          le::Put32(fixed, static_cast<uint32_t>(rows.i64(3)));
          value = {fixed, 4};
          break;
        default:
          bytes = rows.blob(3);
          value = bytes;
      }
      devrec::AppendProperty(&packed, rows.text(1), type, value);
    }
    flush();
    Exec("DROP TABLE record_props");
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void Image::SetMeta(const std::string& key, const std::string& value) {
  Transaction([&] {
    Stmt(db_, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)")
        .bind(1, key)
        .bind(2, value)
        .step();
  });
}

std::optional<std::string> Image::Meta(const std::string& key) {
  std::optional<std::string> out;
  Read([&] {
    Stmt st(db_, "SELECT value FROM meta WHERE key = ?");
    st.bind(1, key);
    if (st.step()) out = st.text(0);
  });
  return out;
}

void Image::Transaction(const std::function<void()>& fn) {
  std::lock_guard<std::mutex> lock(mu_);
  // Counted before the change can be seen, so that a reader never keeps a value read from
  // it under the count it had before.
  generation_.fetch_add(1, std::memory_order_acq_rel);
  // BEGIN and COMMIT kept prepared like any statement: a small write pays no parse for them.
  Prepare("BEGIN IMMEDIATE")->step();
  try {
    fn();
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  Prepare("COMMIT")->step();
}

void Image::EnsureSchema(const char* store, const std::function<void()>& create) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (schemas_.count(store)) return;
  }
  create();  // idempotent: two first requests at once both run it harmlessly
  std::lock_guard<std::mutex> lock(mu_);
  schemas_.insert(store);
}

void Image::Read(const std::function<void()>& fn) {
  std::lock_guard<std::mutex> lock(mu_);
  fn();
}

}  // namespace wmemu
