#include "link/DeviceRecordService.h"

#include <cstring>
#include <string>

#include "core/Log.h"
#include "link/RapiBase.h"
#include "link/ServiceFormats.h"

namespace qwb {

HRESULT CDeviceRecordService::Call(const char16_t* function, const char* method,
                                   std::span<const uint8_t> request,
                                   std::vector<uint8_t>* reply) {
  // The request goes out in a zero-filled LocalAlloc buffer, as the service expects to
  // receive it; the invocation frees it.
  return CRapiBase::InvokeBlock(function, method, std::vector<uint8_t>(request.begin(), request.end()),
                                reply);
}

HRESULT CDeviceRecordService::ListIds(const char16_t* function, const char* method, DWORD kind,
                                      std::vector<DWORD>* ids) {
  ids->clear();
  std::vector<uint8_t> reply;
  HRESULT hr = Call(function, method, devrec::EncodeKindRequest(kind), &reply);
  if (hr != S_OK) return hr;
  std::vector<uint32_t> read;
  devrec::ReadIdList(reply, &read);
  ids->assign(read.begin(), read.end());
  return hr;
}

HRESULT CDeviceRecordService::GetRecord(const char16_t* function, const char* method, DWORD kind,
                                        DWORD id, RecordDecoder decoder, CPropertyMap* map,
                                        int* decoded) {
  *decoded = kDecodeEmpty;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(function, method, devrec::EncodeKindIdRequest(kind, id), &reply);
  if (hr != S_OK) return hr;
  const DWORD size = static_cast<DWORD>(reply.size());
  *decoded = decoder == RecordDecoder::kTask ? DecodeTaskRecord(kind, reply.data(), size, map)
                                             : DecodeDeviceRecord(kind, reply.data(), size, map);
  return hr;
}

HRESULT CDeviceRecordService::PutRecord(const char16_t* function, const char* method,
                                        const CPropertyList& list, int mode, DWORD entryId,
                                        std::optional<DWORD>* id) {
  id->reset();
  DWORD size = 0;
  LocalBuffer request = BuildDeviceRecord(list, mode, entryId, &size);
  std::vector<uint8_t> reply;
  HRESULT hr = CRapiBase::InvokeBlock(function, method, std::move(request), size, &reply);
  if (hr != S_OK) return hr;
  uint32_t newId = 0;
  if (devrec::ReadNewId(reply, &newId)) *id = newId;
  return hr;
}

HRESULT CDeviceRecordService::DeleteRecord(const char16_t* function, const char* method,
                                           DWORD kind, DWORD id) {
  std::vector<uint8_t> reply;
  return Call(function, method, devrec::EncodeKindIdRequest(kind, id), &reply);
}

}  // namespace qwb
