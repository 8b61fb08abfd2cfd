#include "host/FilesCommand.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "host/HostError.h"
#include "host/ListSink.h"
#include "host/PhoneFacts.h"
#include "host/Progress.h"
#include "host/Text.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/com.h"
#include "wincompat/connpoint.h"

namespace qwbhost {
namespace fs = std::filesystem;

namespace {

constexpr int kExitInterrupted = 130;
constexpr DISPID kDispidProgress = 17;

std::atomic<bool> g_interrupted{false};
extern "C" void OnInterrupt(int) { g_interrupted = true; }

std::u16string U16(const std::string& s) { return Utf16(s); }
std::string U8(std::u16string_view s) { return Utf8(s); }

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

ULONG Ordinal(IItem* item, const char16_t* column) {
  ULONG ord = 0;
  LONG found = 0;
  BStr name(column);
  CheckHr("GetOrdinal", item->GetOrdinal(name.Get(), &ord, &found));
  if (!found) ThrowHr(std::string("no column ") + U8(column), E_FAIL);
  return ord;
}
Variant Value(IItem* item, const char16_t* column) {
  Variant v;
  CheckHr("GetValue", item->GetValue(Ordinal(item, column), v.Ptr()));
  return v;
}
void SetText(IItem* item, const char16_t* column, const std::string& text) {
  CheckHr("SetValue", item->SetValue(Ordinal(item, column), Variant::Str(U16(text)).Get()));
}
std::string TextOf(const Variant& v) {
  return v.vt() == VT_BSTR ? U8(BStr(v.Get().bstrVal).Str()) : std::string();
}
unsigned long NumberOf(const Variant& v) {
  Variant copy(v);
  if (FAILED(VariantChangeType(copy.Ptr(), copy.Ptr(), 0, VT_UI4))) return 0;
  return copy.Get().ulVal;
}
std::string DateText(const Variant& v) {
  if (v.vt() == VT_BSTR) return TextOf(v);
  if (v.vt() != VT_DATE && v.vt() != VT_R8) return "";
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(v.Get().date, &st)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond);
  return text;
}
DCADATATYPE TypeOf(IItem* item) {
  DCADATATYPE t = DCADT_ALL;
  item->getType(&t);
  return t;
}

PhoneEntry EntryOf(IItem* item) {
  PhoneEntry e;
  e.folder = TypeOf(item) == DCADT_FOLDER;
  e.name = TextOf(Value(item, u"Name"));
  if (!e.folder) e.size = NumberOf(Value(item, u"FileSize"));
  e.created = DateText(Value(item, u"CreateDate"));
  e.accessed = DateText(Value(item, u"LastAccessDate"));
  Variant modified = Value(item, u"LastWriteDate");
  e.modified = DateText(modified);
  if (modified.vt() == VT_DATE) e.modifiedDate = modified.Get().date;
  e.status = NumberOf(Value(item, u"Status"));
  e.statusIcon = static_cast<long>(NumberOf(Value(item, u"StatusIcon")));
  e.notAllowed = NumberOf(Value(item, u"NotAllowedOperation"));
  e.folderId = NumberOf(Value(item, u"FolderID"));
  return e;
}

std::string Attributes(const PhoneEntry& e) {
  std::string a;
  a += e.folder ? 'd' : '-';
  a += (e.status & 16) ? 'r' : '-';
  a += (e.status & 8) ? 'h' : '-';
  a += (e.status & 4) ? 's' : '-';
  a += (e.status & 0x622) ? 'c' : '-';  // on a storage card
  return a;
}

class Interruptible {
 public:
  Interruptible() {
    g_interrupted = false;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_);
  }
  ~Interruptible() { sigaction(SIGINT, &old_, nullptr); }

 private:
  struct sigaction old_ {};
};

}  // namespace

// ---- Paths and the bar ---------------------------------------------------------------------

std::pair<std::string, std::string> SplitPhonePath(const std::string& path) {
  const size_t at = path.find_last_of("/\\");
  if (at == std::string::npos) return {"", path};
  std::string folder = path.substr(0, at);
  if (folder.empty() && path[0] == '\\') folder = "\\";
  return {folder, path.substr(at + 1)};
}

std::string ChildPhonePath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder[0] == '\\') return folder == "\\" ? "\\" + name : folder + "\\" + name;
  if (folder.empty() || folder == "/") return "/" + name;
  return folder + "/" + name;
}

std::string HumanBytes(uint64_t n) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double v = static_cast<double>(n);
  int unit = 0;
  while (v >= 1024 && unit < 4) {
    v /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(n));
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", v, kUnits[unit]);
  }
  return text;
}

std::string RenderTransfer(const std::string& label, uint64_t done, uint64_t total,
                           double seconds, int width) {
  std::string bar;
  bar.append(label).append(" [");
  const int filled = total == 0 ? width
                                : static_cast<int>(done >= total ? width : done * width / total);
  bar.append(static_cast<size_t>(filled), '#').append(static_cast<size_t>(width - filled), ' ');
  bar.append("] ").append(HumanBytes(done)).append(" / ").append(HumanBytes(total));
  if (seconds > 0.05 && done > 0) {
    const double rate = static_cast<double>(done) / seconds;
    bar.append("  ").append(HumanBytes(static_cast<uint64_t>(rate))).append("/s");
    if (total > done) {
      const auto left = static_cast<long long>(std::ceil(static_cast<double>(total - done) / rate));
      char text[32];
      std::snprintf(text, sizeof text, "  %lld:%02lld left", left / 60, left % 60);
      bar.append(text);
    }
  }
  return bar;
}

// ---- The progress sink ---------------------------------------------------------------------

// Receives Progress(done, total, &continue) from the component: draws the bar and, after
// Ctrl-C, clears the continue flag so that the component stops and cleans up.
struct FileCommands::Sink final : public IDispatch {
  bool show = false;
  std::string label;
  std::chrono::steady_clock::time_point start;
  bool drawn = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID_IDeviceDataEvents)) {
      *ppv = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // Owned by FileCommands, which outlives its advice.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (id != kDispidProgress || !params || params->cArgs != 3) return DISP_E_MEMBERNOTFOUND;
    const VARIANT* args = params->rgvarg;
    const auto done = static_cast<uint64_t>(args[2].llVal);
    const auto total = static_cast<uint64_t>(args[1].llVal);
    if (g_interrupted && args[0].vt == (VT_BYREF | VT_I4) && args[0].plVal) *args[0].plVal = 0;
    if (show) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r%s", RenderTransfer(label, done, total, seconds, 24).c_str());
      std::fflush(stderr);
      drawn = true;
    }
    return S_OK;
  }
  void Finish() {
    if (drawn) std::fputc('\n', stderr);
    drawn = false;
  }
};

// ---- Commands ------------------------------------------------------------------------------

FileCommands::FileCommands(Session& session, bool showProgress)
    : session_(session), showProgress_(showProgress), sink_(std::make_unique<Sink>()) {
  table_ = session_.Table(DTID_FILE);
}

FileCommands::~FileCommands() = default;

std::vector<PhoneEntry> FileCommands::List(const std::string& folder) {
  std::vector<PhoneEntry> entries;
  const bool root = folder.empty() || folder == "/";
  if (root) {
    CheckHr("files: ListItemsAllBegin2", table_->ListItemsAllBegin2());
  } else {
    ComPtr<IItem> item;
    CheckHr("files: NewItem",
            table_->NewItem(DCADT_FOLDER, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
    SetText(item.Get(), u"Reserved1", folder);
    CheckHr("files: listing " + folder, table_->ListChildItemsBegin(item.Get()));
  }
  for (;;) {
    ComPtr<IItem> item;
    const HRESULT hr = table_->NextItem(item.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      table_->ListItemsEnd();
      ThrowHr("files: NextItem", hr);
    }
    if (!item) break;
    const DCADATATYPE type = TypeOf(item.Get());
    if (type == DCADT_FILE_INFO) continue;
    PhoneEntry e = EntryOf(item.Get());
    if (root) {
      // The second form lists the card roots too: keep what lies at the root.
      const bool atRoot = type == DCADT_FOLDER ? NumberOf(Value(item.Get(), u"ParentID")) == 0
                                               : e.folderId == 0;
      if (!atRoot) continue;
    }
    entries.push_back(std::move(e));
  }
  table_->ListItemsEnd();
  return entries;
}

void FileCommands::PrintList(const std::string& folder, bool json, bool longFormat,
                             std::ostream& out) {
  const std::vector<PhoneEntry> entries = List(folder);
  ListSink sink(out, json, "");
  for (const PhoneEntry& e : entries) {
    sink.Add(
        [&] {
          nlohmann::json j = {{"name", e.name},         {"type", e.folder ? "folder" : "file"},
                              {"created", e.created},   {"accessed", e.accessed},
                              {"modified", e.modified}, {"status", e.status},
                              {"statusIcon", e.statusIcon}, {"notAllowedOperation", e.notAllowed},
                              {"folderId", e.folderId}};
          if (!e.folder) j["size"] = e.size;
          return j;
        },
        [&] {
          std::ostringstream line;
          if (longFormat)
            line << Attributes(e) << "  " << std::setw(10)
                 << (e.folder ? std::string("-") : std::to_string(e.size)) << "  " << e.modified
                 << "  ";
          line << e.name << (e.folder ? "/" : "") << '\n';
          return line.str();
        });
  }
  sink.Finish();
}

void PrintSpecialFolders(bool json, std::ostream& out) {
  ListSink sink(out, json, "");
  for (const SpecialFolder& f : SpecialFolders())
    sink.Add(
        [&] {
          return nlohmann::json{{"name", f.name}, {"csidl", f.csidl}, {"path", CliPathOf(f.path)}};
        },
        [&] {
          std::ostringstream line;
          line << std::left << std::setw(14) << f.name << CliPathOf(f.path) << '\n';
          return line.str();
        });
  sink.Finish();
}

void PrintStat(const std::string& cliPath, bool json, std::ostream& out) {
  if (!cliPath.empty() && (cliPath[0] == '\\' || cliPath[0] == '*'))
    ThrowUsage("files stat takes a path of main memory (/...), not a card path: " + cliPath);
  const std::string device = DevicePathOf(cliPath);
  const FileFacts f = StatDevicePath(device);
  if (json) {
    nlohmann::json j = {{"path", CliPathOf(device)},
                        {"type", f.folder ? "folder" : "file"},
                        {"attributes", f.attributes}};
    if (!f.folder) j["size"] = f.size;
    out << j.dump(2) << '\n';
    return;
  }
  out << AttributeLetters(f.attributes) << "  " << std::setw(10)
      << (f.folder ? std::string("-") : std::to_string(f.size)) << "  " << CliPathOf(device)
      << (f.folder ? "/" : "") << '\n';
}

std::vector<MemoryArea> FileCommands::MemoryAreas() {
  ComPtr<IItem> info;
  CheckHr("files: ListItemsAllBegin2", table_->ListItemsAllBegin2());
  CheckHr("files: NextItem", table_->NextItem(info.ReleaseAndGetAddressOf()));
  table_->ListItemsEnd();
  if (!info) ThrowHr("files: no memory information", E_FAIL);
  std::vector<MemoryArea> areas;
  auto add = [&](const std::string& kind, const std::string& label, const std::string& name,
                 const char16_t* sizeColumn, const char16_t* useColumn) {
    const std::string size = TextOf(Value(info.Get(), sizeColumn));
    const std::string use = TextOf(Value(info.Get(), useColumn));
    if (size.empty() || size == "0") return;
    areas.push_back({kind, label, name, std::stoull(size), std::stoull(use.empty() ? "0" : use)});
  };
  add("main", "main memory", "", u"MemorySize", u"MemoryUse");
  const std::string second = TextOf(Value(info.Get(), u"Memory2Name"));
  const std::string third = TextOf(Value(info.Get(), u"Memory3Name"));
  add("card", "card * (" + second + ")", second, u"Memory2Size", u"Memory2Use");
  if (!third.empty()) add("card2", "card *2 (" + third + ")", third, u"Memory3Size", u"Memory3Use");
  add("storage-card", "storage card \\", "", u"ExtMemorySize", u"ExtMemoryUse");
  return areas;
}

void FileCommands::PrintFree(std::ostream& out) {
  const std::vector<MemoryArea> areas = MemoryAreas();
  out << std::left << std::setw(28) << "memory" << std::right << std::setw(12) << "size"
      << std::setw(12) << "used" << std::setw(12) << "free" << '\n';
  for (const MemoryArea& a : areas)
    out << std::left << std::setw(28) << a.label << std::right << std::setw(12)
        << HumanBytes(a.size) << std::setw(12) << HumanBytes(a.used) << std::setw(12)
        << HumanBytes(a.size > a.used ? a.size - a.used : 0) << '\n';
}

PhoneEntry FileCommands::Find(const std::string& phonePath) {
  auto [folder, name] = SplitPhonePath(phonePath);
  if (name.empty()) ThrowUsage("'" + phonePath + "' names no file or folder");
  for (PhoneEntry& e : List(folder))
    if (SameNoCase(e.name, name)) return e;
  throw HostError(kExitFailure, "no such file or folder on the phone: " + phonePath);
}

void FileCommands::Transfer(IItem* item, bool download, const std::string& label,
                            uint64_t size) {
  Interruptible interruptible;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  CheckHr("QueryInterface(IConnectionPointContainer)",
          session_.Device()->QueryInterface(IID_IConnectionPointContainer,
                                            reinterpret_cast<void**>(container.ReleaseAndGetAddressOf())));
  CheckHr("FindConnectionPoint",
          container->FindConnectionPoint(DIID_IDeviceDataEvents, point.ReleaseAndGetAddressOf()));
  CheckHr("Advise", point->Advise(static_cast<IDispatch*>(sink_.get()), &cookie));
  sink_->show = showProgress_;
  sink_->label = label;
  sink_->start = std::chrono::steady_clock::now();
  SetText(item, u"FileSize", std::to_string(size));
  const HRESULT hr = download ? item->ReadBlobTo(0, nullptr) : item->WriteBlobFrom(0, nullptr);
  sink_->Finish();
  point->Unadvise(cookie);
  if (g_interrupted) {
    GetErrorInfo(0, nullptr);
    throw HostError(kExitInterrupted, "interrupted: " + label + " cancelled, no partial file left");
  }
  CheckHr(label, hr);
}

void FileCommands::Pull(const std::string& phonePath, const fs::path& local) {
  const PhoneEntry e = Find(phonePath);
  if (e.folder) ThrowUsage("'" + phonePath + "' is a folder");
  fs::path target = local.empty() ? fs::path(e.name) : local;
  std::error_code ec;
  if (fs::is_directory(target, ec)) target /= e.name;
  auto [folder, name] = SplitPhonePath(phonePath);
  ComPtr<IItem> item;
  CheckHr("files: NewItem",
          table_->NewItem(DCADT_FILE, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  SetText(item.Get(), u"Reserved1", folder);
  SetText(item.Get(), u"Name", e.name);
  SetText(item.Get(), u"PCPath", target.string());
  Transfer(item.Get(), true, "pull " + e.name, e.size);
}

void FileCommands::Push(const fs::path& local, const std::string& phonePath) {
  std::error_code ec;
  if (!fs::is_regular_file(local, ec)) ThrowUsage("'" + local.string() + "' is not a file");
  std::string target = phonePath;
  if (target.empty() || target.back() == '/' || target.back() == '\\') {
    target += local.filename().string();
  } else {
    auto [f, n] = SplitPhonePath(target);
    try {
      if (Find(target).folder) target = ChildPhonePath(target, local.filename().string());
    } catch (const HostError&) {
      // A new file's name.
    }
  }
  auto [folder, name] = SplitPhonePath(target);
  ComPtr<IItem> item;
  CheckHr("files: NewItem",
          table_->NewItem(DCADT_FILE, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  SetText(item.Get(), u"Reserved1", folder);
  SetText(item.Get(), u"Name", name);
  SetText(item.Get(), u"PCPath", local.string());
  Transfer(item.Get(), false, "push " + name, fs::file_size(local, ec));
}

void FileCommands::MakeFolder(const std::string& phonePath) {
  auto [folder, name] = SplitPhonePath(phonePath);
  if (name.empty()) ThrowUsage("mkdir: no folder name in '" + phonePath + "'");
  ComPtr<IItem> item;
  CheckHr("files: NewItem",
          table_->NewItem(DCADT_FOLDER, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  SetText(item.Get(), u"Reserved1", folder);
  SetText(item.Get(), u"Name", name);
  SUID ignored = SUID_NULL;
  CheckHr("mkdir " + phonePath, table_->CreateItem(item.Get(), &ignored));
}

namespace {
// One file item naming the object, its second path and the operation.
ComPtr<IItem> OperationItem(IDataTable* table, DCADATATYPE type, const std::string& path,
                            const std::string& second, const std::string& operation) {
  auto [folder, name] = SplitPhonePath(path);
  ComPtr<IItem> item;
  CheckHr("files: NewItem", table->NewItem(type, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
  SetText(item.Get(), u"Reserved1", folder);
  SetText(item.Get(), u"Name", name);
  SetText(item.Get(), u"Reserved2", second);
  if (type == DCADT_FILE) SetText(item.Get(), u"Reserved3", operation);
  return item;
}
}  // namespace

void FileCommands::Move(const std::string& from, const std::string& to) {
  const PhoneEntry e = Find(from);
  std::string target = to;
  try {
    if (Find(to).folder) target = ChildPhonePath(to, e.name);
  } catch (const HostError&) {
  }
  auto [fromFolder, fromName] = SplitPhonePath(from);
  auto [toFolder, toName] = SplitPhonePath(target);
  ComPtr<IItem> item;
  if (fromFolder == toFolder) {
    item = OperationItem(table_.Get(), e.folder ? DCADT_FOLDER : DCADT_FILE, from, toName, "RENAME");
  } else {
    item = OperationItem(table_.Get(), DCADT_FILE, from, target,
                         e.folder ? "P2P_MOVE_FOLDER" : "P2P_MOVE");
  }
  CheckHr("mv " + from, table_->UpdateItem(item.Get()));
}

void FileCommands::Copy(const std::string& from, const std::string& to) {
  const PhoneEntry e = Find(from);
  std::string target = to;
  try {
    if (Find(to).folder) target = ChildPhonePath(to, e.name);
  } catch (const HostError&) {
  }
  ComPtr<IItem> item = OperationItem(table_.Get(), DCADT_FILE, from, target,
                                     e.folder ? "P2P_COPY_FOLDER" : "P2P_COPY");
  CheckHr("cp " + from, table_->UpdateItem(item.Get()));
}

void FileCommands::Remove(const std::string& phonePath) {
  const PhoneEntry e = Find(phonePath);
  ComPtr<IItem> item =
      OperationItem(table_.Get(), e.folder ? DCADT_FOLDER : DCADT_FILE, phonePath, "", "");
  CheckHr("rm " + phonePath, table_->DeleteItem(item.Get()));
}

size_t FileCommands::Mirror(const std::string& folder, const fs::path& dir,
                            const std::vector<std::string>& excludeFolders,
                            const fs::path& manifest, size_t* skipped) {
  nlohmann::json known = nlohmann::json::object();
  if (!manifest.empty()) {
    std::ifstream in(manifest);
    if (in) known = nlohmann::json::parse(in, nullptr, false);
    if (!known.is_object()) known = nlohmann::json::object();
  }
  size_t copied = 0;
  auto save = [&] {
    if (manifest.empty()) return;
    std::ofstream out(manifest, std::ios::trunc);
    out << known.dump(1) << '\n';
  };
  // Depth first, folders after the files of their parent.
  std::vector<std::pair<std::string, fs::path>> pending = {{folder, dir}};
  try {
    while (!pending.empty()) {
      auto [phoneFolder, localFolder] = pending.back();
      pending.pop_back();
      std::error_code ec;
      fs::create_directories(localFolder, ec);
      for (const PhoneEntry& e : List(phoneFolder)) {
        if (e.folder) {
          bool excluded = false;
          for (const std::string& x : excludeFolders) excluded = excluded || SameNoCase(x, e.name);
          if (!excluded)
            pending.emplace_back(ChildPhonePath(phoneFolder, e.name), localFolder / e.name);
          continue;
        }
        const fs::path target = localFolder / e.name;
        // Keyed by the path below the manifest's folder, so that roots sharing a manifest
        // never share a key.
        const std::string key =
            manifest.empty() ? std::string()
                             : fs::relative(target, manifest.parent_path()).generic_string();
        // The manifest is the user's file: an entry that is not an object vouches for nothing.
        const auto it = known.find(key);
        if (it != known.end() && it->is_object() && (*it)["size"] == e.size && (*it)["modified"] == e.modified &&
            fs::is_regular_file(target, ec) && fs::file_size(target, ec) == e.size) {
          if (skipped) ++*skipped;
          continue;
        }
        ComPtr<IItem> item;
        CheckHr("files: NewItem",
                table_->NewItem(DCADT_FILE, SUID_NULL, SUID_NULL, item.ReleaseAndGetAddressOf()));
        SetText(item.Get(), u"Reserved1", phoneFolder);
        SetText(item.Get(), u"Name", e.name);
        SetText(item.Get(), u"PCPath", target.string());
        Transfer(item.Get(), true, e.name, e.size);
        known[key] = {{"size", e.size}, {"modified", e.modified}};
        ++copied;
      }
    }
  } catch (...) {
    save();
    throw;
  }
  save();
  return copied;
}

std::vector<std::pair<std::string, std::string>> FileCommands::BackupRoots() {
  std::vector<std::pair<std::string, std::string>> roots;
  ComPtr<IItem> info;
  CheckHr("files: ListItemsAllBegin2", table_->ListItemsAllBegin2());
  CheckHr("files: NextItem", table_->NextItem(info.ReleaseAndGetAddressOf()));
  table_->ListItemsEnd();
  const std::string second = info ? TextOf(Value(info.Get(), u"Memory2Name")) : "";
  const std::string third = info ? TextOf(Value(info.Get(), u"Memory3Name")) : "";
  for (const PhoneEntry& e : List("")) {
    if (!e.folder) continue;
    if (SameNoCase(e.name, "My Documents")) {
      roots.emplace_back("/My Documents", "My Documents");
    } else if (e.name == "\\") {
      roots.emplace_back("\\", "Storage Card");
    } else if (e.name == "*") {
      roots.emplace_back("/*", second.empty() ? "Card" : second);
    } else if (e.name == "*2") {
      roots.emplace_back("/*2", third.empty() ? "Card 2" : third);
    }
  }
  return roots;
}

const char* const kFolderExportNames[2] = {"documents", "pictures"};

size_t ExportFolder(Session& session, const std::string& name, const fs::path& dir,
                    bool showProgress) {
  FileCommands files(session, showProgress);
  // (phone folder, local folder below DIR/<name>, folders left out)
  struct Root {
    std::string phone;
    fs::path local;
    std::vector<std::string> exclude;
  };
  std::vector<Root> roots;
  if (name == kFolderExportNames[0]) {
    roots.push_back({"/My Documents", {}, {"My Pictures"}});
  } else {
    roots.push_back({"/My Documents/My Pictures", "My Pictures", {}});
    for (const auto& [phone, local] : files.BackupRoots())
      if (phone != "/My Documents") roots.push_back({ChildPhonePath(phone, "DCIM"), local + " DCIM", {}});
  }
  size_t copied = 0, skipped = 0;
  for (const Root& root : roots) {
    try {
      files.List(root.phone);
    } catch (const HostError&) {
      continue;  // a phone or card without that folder
    }
    copied += files.Mirror(root.phone, dir / name / root.local, root.exclude,
                           dir / ".qwbdcawm-files.json", &skipped);
  }
  std::fprintf(stderr, "%s: %zu copied, %zu unchanged, into %s\n", name.c_str(), copied, skipped,
               (dir / name).string().c_str());
  return copied;
}

void RunBackup(Session& session, const fs::path& dir, bool showProgress) {
  FileCommands files(session, showProgress);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir))
    throw HostError(kExitFailure, "cannot create " + dir.string() + ": " + ec.message());
  size_t copied = 0, skipped = 0;
  for (const auto& [phone, local] : files.BackupRoots()) {
    copied += files.Mirror(phone, dir / local, {}, dir / ".qwbdcawm-backup.json", &skipped);
  }
  std::fprintf(stderr, "backup: %zu copied, %zu unchanged, into %s\n", copied, skipped,
               dir.string().c_str());
}

}  // namespace qwbhost
