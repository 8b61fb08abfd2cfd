// CRapiBase: the device link. It owns the RAPI session, the stream session of the device-side
// service, the model profile and the storage card probe's result, and it is the one place
// through which every table makes a block-mode call of the device-side service.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/XmlParserWMModelProfile.h"
#include "wincompat/comptr.h"
#include "wincompat/rapi.h"
#include "wincompat/scoped.h"
#include "wincompat/winbase.h"

class CRapiBase {
  // Invariants: m_pStream is null or the open stream session; m_nRapiInitialised is 1 from
  // the first initRapiComm (whatever its result) until uninitRapiComm balances it with
  // CeRapiUninit; m_nStorageCardFound is 1 only once m_strStorageCardFolder names a folder
  // of m_vStorageFolders, and then stays 1; m_ComInit is present from construction until
  // the first uninitRapiComm.
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

  // Opens the stream session ("DevCeApplyAllData"); an open one is replaced.
  HRESULT StartApplyAllData();
  // Stream write and read; a closed stream is reopened first.
  HRESULT StreamWrite(const void* buffer, ULONG length, ULONG* written);
  HRESULT StreamRead(void* buffer, ULONG length, ULONG* read);
  bool HasStream() const { return static_cast<bool>(m_pStream); }
  // Drops the stream session (the phonebook does after a failed exchange) so that the next
  // stream operation reopens it.
  void ReleaseStream() { m_pStream.Reset(); }
  // The open stream, not owned (null when closed): for tests that check which one it is.
  IRAPIStream* StreamForTesting() const { return m_pStream.Get(); }

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
  using LocalBuffer = ::LocalBuffer;

  // A zero-filled request of `size` bytes from LocalAlloc (null for 0); raises
  // CAtlException(E_OUTOFMEMORY) when allocation fails.
  static LocalBuffer NewRequest(DWORD size);

  // One block-mode call of the device-side service: CeSyncStop, CeRapiInvoke of `function`
  // on "QWBRapiServer" with the request (freed by the call), the debug line
  // "[<method>]<function> hr=0x<hr>" (none when `method` is null), and on S_OK the reply
  // copied into *reply (cleared first) and freed with LocalFree. Returns the HRESULT of the
  // call; the caller decides whether a failure is thrown or returned.
  static HRESULT InvokeBlock(const char16_t* function, const char* method, LocalBuffer request,
                             DWORD size, std::vector<uint8_t>* reply);
  // The same with the request copied from `request` into a LocalAlloc buffer.
  static HRESULT InvokeBlock(const char16_t* function, const char* method,
                             const std::vector<uint8_t>& request, std::vector<uint8_t>* reply);

  // A stream-mode call of a DevCe function other than the phonebook's: CeSyncStop, then
  // CeRapiInvoke with no input and no reply; the stream comes back in *stream.
  static HRESULT InvokeStream(const char16_t* function, ComPtr<IRAPIStream>* stream);

  // Test seam: replaces CeRapiInvoke for block and stream invocations (null restores it).
  using InvokeFunction =
      std::function<HRESULT(LPCWSTR dll, LPCWSTR function, DWORD cbInput, BYTE* input,
                            DWORD* cbOutput, BYTE** output, IRAPIStream** stream, DWORD reserved)>;
  static void SetInvokeForTesting(InvokeFunction invoke);
  // Test seam: the model profile file GetWMModelType loads (empty restores the file beside
  // the executable).
  static void SetModelProfilePathForTesting(std::u16string path);
  // The model profile file: the executable's folder + "/WMModelProfile.xml".
  static std::u16string ModelProfilePath();

  CXmlParserWMModelProfile m_ModelProfile;
  int m_nRapiInitialised;
  int m_nStorageCardFound;
  std::u16string m_strStorageCardFolder;
  std::vector<std::u16string> m_vStorageFolders;

 private:
  ComPtr<IRAPIStream> m_pStream;
  // COM held for the link: closing twice (the device data object closes the link before
  // destroying it) must not take back the host's own COM init.
  std::optional<ComInitScope> m_ComInit;
  // The session request lives as long as the link: a device that answers after the 500 ms
  // wait still has its result written here, up to CeRapiUninit.
  RAPIINIT m_RapiInit{};
};