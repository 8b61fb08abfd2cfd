// CRapiBase: the device link. It owns the RAPI session, the stream session of the device-side
// service, the model profile and the storage card probe's result, and it is the one place
// through which every table makes a block-mode call of the device-side service.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "link/XmlParserWMModelProfile.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

class CRapiBase {
 public:
  // Opens the RAPI session (a device that does not answer within 500 ms is only logged) and
  // initialises COM for the link.
  CRapiBase();
  // Closes the stream and the session.
  ~CRapiBase();
  CRapiBase(const CRapiBase&) = delete;
  CRapiBase& operator=(const CRapiBase&) = delete;

  HRESULT initRapiComm();
  void uninitRapiComm();

  // Opens the stream session ("DevCeApplyAllData") into m_pStream.
  HRESULT StartApplyAllData();
  // Stream write and read; a closed stream is reopened first.
  HRESULT StreamWrite(const void* buffer, ULONG length, ULONG* written);
  HRESULT StreamRead(void* buffer, ULONG length, ULONG* read);

  // Device registry reads: 1 when the value was read, 0 otherwise (out left unchanged).
  static int ceReadReg4dword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD* value);
  static int ceReadRegString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, std::u16string* value);

  // The model type of the attached phone, from the model profile beside the executable.
  int GetWMModelType();

  // The storage probe: 1 once a storage card folder at the device root is known, else 0.
  int CheckStorageCard();
  const std::u16string& StorageCardFolder() const { return m_strStorageCardFolder; }
  const std::vector<std::u16string>& StorageFolders() const { return m_vStorageFolders; }

  // ---- Block invocation ----------------------------------------------------------------
  // A LocalAlloc buffer owned until it goes (LocalFree).
  struct LocalFreeDeleter {
    void operator()(BYTE* p) const { LocalFree(p); }
  };
  using LocalBuffer = std::unique_ptr<BYTE, LocalFreeDeleter>;

  // A zero-filled request of `size` bytes from LocalAlloc; raises CAtlException on failure.
  static BYTE* AllocRequest(DWORD size);
  // The same, owned.
  static LocalBuffer NewRequest(DWORD size) { return LocalBuffer(size ? AllocRequest(size) : nullptr); }
  // A request made of 32-bit words (kind, entry id, ...).
  static BYTE* WordsRequest(std::initializer_list<uint32_t> words, DWORD* size);

  // One block-mode call of the device-side service: CeSyncStop, CeRapiInvoke of `function`
  // on "QWBRapiServer" with the request, the debug line `debugFormat` ("[%s]DevCeGet
  // hr=0x%x"; none when null) written with `method` and the HRESULT, the request freed, and
  // on S_OK the reply copied into *reply (cleared first) and freed with LocalFree. Returns
  // the HRESULT of the call; the caller decides whether a failure is thrown or returned.
  static HRESULT InvokeBlock(const char16_t* function, const char* debugFormat, const char* method,
                             BYTE* request, DWORD size, std::vector<uint8_t>* reply);
  // The same with an owned request; the function name is the debug line's
  // ("[<method>]<function> hr=0x<hr>").
  static HRESULT InvokeBlock(const char16_t* function, const char* method, LocalBuffer request,
                             DWORD size, std::vector<uint8_t>* reply);

  // A stream-mode call of a DevCe function other than the phonebook's: CeSyncStop, then
  // CeRapiInvoke with no input and no reply; the caller owns (and releases) *stream.
  static HRESULT InvokeStream(const char16_t* function, IRAPIStream** stream);

  // Test seam: replaces CeRapiInvoke for block and stream invocations (null restores it).
  using InvokeFunction =
      std::function<HRESULT(LPCWSTR dll, LPCWSTR function, DWORD cbInput, BYTE* input,
                            DWORD* cbOutput, BYTE** output, IRAPIStream** stream, DWORD reserved)>;
  static void SetInvokeForTesting(InvokeFunction invoke);
  // Test seam: the model profile file GetWMModelType loads (empty restores the file beside
  // the executable).
  static void SetModelProfilePathForTesting(std::u16string path);
  // The model profile file: the executable's folder + "/WMModelProfile.xml" when it is
  // there, else the one installed with the component (share/qwbdcawm beside its lib folder).
  static std::u16string ModelProfilePath();

  // The stream session; null while no stream is open. The phonebook releases it and sets
  // it to null so that the next stream operation reopens it.
  IRAPIStream* m_pStream;
  CXmlParserWMModelProfile m_ModelProfile;
  int m_nRapiInitialised;
  int m_nStorageCardFound;
  std::u16string m_strStorageCardFolder;
  std::vector<std::u16string> m_vStorageFolders;

 private:
  // The constructor's CoInitialize not yet balanced: closing twice (the device data object
  // closes the link before destroying it) must not take back the host's own COM init.
  bool m_bComInitialised = false;
  // The session request lives as long as the link: a device that answers after the 500 ms
  // wait still has its result written here, up to CeRapiUninit.
  RAPIINIT m_RapiInit{};
};
