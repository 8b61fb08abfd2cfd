// QWBDCAWM: what a host compiles against. Identifiers, enumerations and the interfaces of
// the DeviceDataWM class in vtable slot order (slots 0-2 IUnknown, 3-6 IDispatch, own
// methods from slot 7), and the host-side interfaces the component calls.
#pragma once

#include "wincompat/com.h"

// ---- Identifiers -----------------------------------------------------------
inline constexpr GUID LIBID_QWBDCAWMLib = {0xA9E7204F, 0x93EC, 0x413E, {0xB3, 0xA7, 0x8A, 0xB1, 0x80, 0x52, 0x9C, 0x20}};
inline constexpr CLSID CLSID_DeviceDataWM = {0x6FA1E685, 0xF669, 0x48B8, {0x83, 0xB7, 0x84, 0xFF, 0xB5, 0x26, 0x77, 0xCB}};
inline constexpr GUID APPID_QWBDCAWM = {0xEB78A53E, 0xB425, 0x4935, {0xB7, 0x22, 0x24, 0x5A, 0x97, 0x7D, 0x6F, 0x01}};
inline constexpr IID IID_IDeviceData = {0x77084905, 0xDF94, 0x45A6, {0x90, 0xDC, 0xC1, 0xDA, 0x1F, 0x58, 0xEF, 0x64}};
inline constexpr IID IID_IDeviceDataWM = {0xDC9B2A15, 0xA418, 0x458D, {0x88, 0x10, 0x1F, 0x3F, 0xF4, 0xB5, 0x21, 0x85}};
inline constexpr IID IID_IDataTable = {0x1AAA0702, 0x6B57, 0x4600, {0xA9, 0x0B, 0xB3, 0x25, 0x61, 0x98, 0x40, 0xDE}};
inline constexpr IID IID_IItem = {0x1738DA9E, 0x76C3, 0x4B87, {0xBD, 0xC4, 0x94, 0xFB, 0x92, 0xCB, 0x9D, 0x18}};
inline constexpr IID IID_IColumnInfo = {0xFDC8BD3A, 0xF44C, 0x4C63, {0xA0, 0x57, 0xB0, 0x8D, 0xA4, 0xEA, 0xE6, 0x82}};
inline constexpr IID IID_IDeviceProtocol = {0x7E7E9444, 0x2F1A, 0x483C, {0x80, 0x5C, 0x2A, 0x6A, 0x61, 0x5D, 0x85, 0x98}};
inline constexpr IID DIID_IDeviceDataEvents = {0x36CAB2A3, 0x4937, 0x408C, {0xA1, 0xBE, 0x5A, 0x2F, 0x8B, 0xBD, 0x2D, 0x80}};
inline constexpr IID DIID__IDeviceDataEvents = {0x65536554, 0x3C1E, 0x4927, {0x8F, 0xCE, 0x17, 0x97, 0x73, 0x08, 0x4E, 0x89}};
inline constexpr GUID GUID_SUID = {0xFDB77DE4, 0x973F, 0x4A85, {0x83, 0x2A, 0xAC, 0x7C, 0x33, 0xFE, 0xC1, 0x8B}};
inline constexpr GUID GUID_TESTRESULT = {0xAE12AB0A, 0x75B1, 0x456D, {0x81, 0x20, 0x36, 0x2B, 0xDF, 0x26, 0x1C, 0x59}};
inline constexpr IID IID_IHostConnection = {0x2EF07E0F, 0x30A9, 0x457A, {0xBC, 0xA8, 0x2B, 0xFC, 0x40, 0xD0, 0x72, 0x5F}};
inline constexpr IID IID_IHostModelDB = {0x02090516, 0x1271, 0x4449, {0xA9, 0xAB, 0xAC, 0x00, 0x7E, 0x59, 0x07, 0x38}};
inline constexpr IID IID_IHostModelDBFiles = {0xFCDDE44D, 0x3C5B, 0x4B3D, {0x9F, 0x8E, 0x81, 0x20, 0xAB, 0x2C, 0xDD, 0x2F}};

// The outside error reporter.
inline constexpr CLSID CLSID_ErrorReport = {0x96491E7B, 0x098B, 0x4D03, {0xB0, 0xDA, 0xDB, 0xE2, 0xB4, 0x6A, 0x1F, 0x55}};
inline constexpr IID IID_IErrorReport = {0x6F5C8C8B, 0xC754, 0x4B8D, {0xB9, 0xB0, 0x84, 0xC5, 0xCE, 0xFB, 0x71, 0x6F}};

#define QWBDCAWM_PROGID u"QWBDCAWM.DeviceDataWM.1"
#define QWBDCAWM_VERSION_INDEPENDENT_PROGID u"QWBDCAWM.DeviceDataWM"

// The dispid of the Progress event on both event interfaces.
#define DISPID_PROGRESS 17

// ---- Enumerations ----------------------------------------------------------
typedef enum tagDATATABLE_SUID : int32_t {
  DTID_PHONEBOOK = 0,
  DTID_CALENDAR = 1,
  DTID_MESSAGE = 2,
  DTID_FILE = 3,
  DTID_TASK = 4,
  DTID_MEMO = 5,
  DTID_METADATA = 6,
  DTID_SIM = 7,
  DTID_DDAY = 8,
  DTID_MMS = 9,
  DTID_SIM2 = 10,
  DTID_VOICEMEMO = 11,
  DTID_TIMETABLE = 12,
  DTID_MYDIARY_SCHEDULEDECO = 13,
  DTID_MYDIARY_MISSION = 14,
  DTID_MYDIARY_DIARY = 15,
  DTID_MYDIARY_ANYLOG = 16,
  DTID_MAX = 17,
} DATATABLE_SUID;

typedef enum tagDCADATATYPE : int32_t {
  DCADT_PHONEBOOK = 0,
  DCADT_PHONEBOOK_SIM = 1,
  DCADT_PHONEBOOK_USIM = 2,
  DCADT_GROUP = 3,
  DCADT_GROUP_JOIN = 4,
  DCADT_SCHEDULE = 5,
  DCADT_ANNIVERSARY = 6,
  DCADT_DDAY = 7,
  DCADT_TASK = 8,
  DCADT_MEMO = 9,
  DCADT_SMS = 10,
  DCADT_MMS = 11,
  DCADT_EMAIL = 12,
  DCADT_FILE_INFO = 13,
  DCADT_FOLDER = 14,
  DCADT_FILE = 15,
  DCADT_FILE_TYPE = 16,
  DCADT_METADATA = 17,
  DCADT_SECURITY = 18,
  DCADT_VOICEMEMO = 19,
  DCADT_TIMETABLE = 20,
  DCADT_TIMETABLE_INFO = 21,
  DCADT_MYDIARY_SCHEDULEDECO = 22,
  DCADT_MYDIARY_MISSION = 23,
  DCADT_MYDIARY_DIARY = 24,
  DCADT_MYDIARY_DIARYDECO = 25,
  DCADT_MYDIARY_ANYLOG = 26,
  DCADT_ETC = -3,
  DCADT_ALL = -2,
} DCADATATYPE;

typedef enum tagSUID : int32_t {
  SUID_UNKNOWN = -2,
  SUID_NULL = -1,
} SUID;

typedef enum tagTESTRESULT : int32_t {
  TEST_SUCCESS = 0,
  TEST_CANNOT_TEST = 2,
  TEST_INVALID_TYPE = 3,
  TEST_STR_TOO_LONG = 16,
  TEST_STR_IS_ESSENTIAL = 17,
  TEST_STR_INCLUDE_INVALID_CHAR = 18,
  TEST_NUM_MORE_THAN_MAX = 32,
  TEST_NUM_LESS_THAN_MIN = 33,
  TEST_TIME_MORE_THAN_MAX = 48,
  TEST_TIME_LESS_THAN_MIN = 49,
  TEST_TIME_LOSS_BY_UNDERFLOW = 50,
  TEST_TIMESPAN_MORE_THAN_MAX = 64,
  TEST_TIMESPAN_LESS_THAN_MIN = 65,
  TEST_TIMESPAN_LOSS_BY_UNDERFLOW = 66,
  TEST_ENUM_INVALID_VALUE = 80,
  TEST_NOT_IMPL = -1,
} TESTRESULT;

typedef enum tagDCASYNCSTATUS : int32_t {
  DCASS_START = 0,
  DCASS_STOP = 1,
  DCASS_END = 2,
} DCASYNCSTATUS;

// ---- Interfaces ------------------------------------------------------------
struct IDataTable;
struct IItem;
struct IColumnInfo;

struct IDeviceData : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE ListDataTable() = 0;                                   // 7
  virtual HRESULT STDMETHODCALLTYPE GetDataTable(DATATABLE_SUID tableId,
                                                 IDataTable** ppDataTable) = 0;           // 8
  virtual HRESULT STDMETHODCALLTYPE SetConneciton(IUnknown* pCon, IUnknown* pModelDB) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE SetProperty(BSTR propName, BSTR propValue) = 0;        // 10
};

// Declared by the type library as the coclass' default; the object does not answer it.
struct IDeviceDataWM : public IDeviceData {};

struct IDataTable : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE ListItemsAllBegin() = 0;                               // 7
  virtual HRESULT STDMETHODCALLTYPE ListChildItemsBegin(IItem* pItem) = 0;                 // 8
  virtual HRESULT STDMETHODCALLTYPE NextItem(IItem** ppItem) = 0;                          // 9
  virtual HRESULT STDMETHODCALLTYPE ListItemsEnd() = 0;                                    // 10
  virtual HRESULT STDMETHODCALLTYPE GetItemCount(IItem* pItem, ULONG isRecursive,
                                                 DCADATATYPE type, ULONG* cnt) = 0;        // 11
  virtual HRESULT STDMETHODCALLTYPE NewItem(DCADATATYPE type, SUID itemSuid, SUID parentSuid,
                                            IItem** ppItem) = 0;                           // 12
  virtual HRESULT STDMETHODCALLTYPE CreateItem(IItem* pItem, SUID* itemSuid) = 0;          // 13
  virtual HRESULT STDMETHODCALLTYPE UpdateItem(IItem* pItem) = 0;                          // 14
  virtual HRESULT STDMETHODCALLTYPE DeleteItem(IItem* pItem) = 0;                          // 15
  virtual HRESULT STDMETHODCALLTYPE ReadItem(IItem* pItem) = 0;                            // 16
  virtual HRESULT STDMETHODCALLTYPE MoveItem(IItem* pItem, IItem* newParent) = 0;          // 17
  virtual HRESULT STDMETHODCALLTYPE GetItem(BSTR param, IItem* pItem, IItem** ppItem) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE PutItem(BSTR param, IItem* pItem) = 0;                 // 19
  virtual HRESULT STDMETHODCALLTYPE Execute(BSTR param, IItem* pItem, IItem** ppItem) = 0;  // 20
  virtual HRESULT STDMETHODCALLTYPE GetProperty(BSTR propName, BSTR* propValue) = 0;       // 21
  virtual HRESULT STDMETHODCALLTYPE SetSyncStatus(DCASYNCSTATUS status) = 0;               // 22
  virtual HRESULT STDMETHODCALLTYPE ListItemsAllBegin2() = 0;                              // 23
  virtual HRESULT STDMETHODCALLTYPE ExecuteMMSCancel(BSTR param, IItem* pItem,
                                                     ULONG* nState) = 0;                   // 24
};

struct IItem : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_SUID(SUID* pVal) = 0;                              // 7
  virtual HRESULT STDMETHODCALLTYPE get_parent(SUID* pVal) = 0;                            // 8
  virtual HRESULT STDMETHODCALLTYPE getType(DCADATATYPE* newVal) = 0;                      // 9
  virtual HRESULT STDMETHODCALLTYPE GetColumnCount(ULONG* count) = 0;                      // 10
  virtual HRESULT STDMETHODCALLTYPE GetColumnInfo(ULONG nColumn,
                                                  IColumnInfo** ppColumnInfo) = 0;         // 11
  virtual HRESULT STDMETHODCALLTYPE GetColumnFlags(ULONG nColumn, ULONG* pFlags) = 0;      // 12
  virtual HRESULT STDMETHODCALLTYPE GetColumnName(ULONG nColumn, BSTR* pName) = 0;         // 13
  virtual HRESULT STDMETHODCALLTYPE GetColumnType(ULONG nColumn, USHORT* pType) = 0;       // 14
  virtual HRESULT STDMETHODCALLTYPE GetLength(ULONG nColumn, ULONG* pLength) = 0;          // 15
  virtual HRESULT STDMETHODCALLTYPE GetOrdinal(BSTR ColumnName, ULONG* pOrdinal,
                                               LONG* pFound) = 0;                          // 16
  virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG nColumn, ULONG* pStatus) = 0;          // 17
  virtual HRESULT STDMETHODCALLTYPE SetStatus(ULONG nColumn, ULONG pStatus) = 0;           // 18
  virtual HRESULT STDMETHODCALLTYPE GetValue(ULONG col, VARIANT* pVal) = 0;                // 19
  virtual HRESULT STDMETHODCALLTYPE SetValue(ULONG col, VARIANT newVal) = 0;               // 20
  virtual HRESULT STDMETHODCALLTYPE ReadBlobTo(ULONG col, BSTR path) = 0;                  // 21
  virtual HRESULT STDMETHODCALLTYPE WriteBlobFrom(ULONG col, BSTR path) = 0;               // 22
};

struct IColumnInfo : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_name(BSTR* pVal) = 0;                              // 7
  virtual HRESULT STDMETHODCALLTYPE get_type(USHORT* pVal) = 0;                            // 8
  virtual HRESULT STDMETHODCALLTYPE Test(IItem* pRecord, TESTRESULT* pResult) = 0;         // 9
};

struct IDeviceProtocol : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE GetProtocolState(LONG* pState) = 0;                    // 7
  virtual HRESULT STDMETHODCALLTYPE ResetProtocolState() = 0;                              // 8
};

// ---- Host interfaces -------------------------------------------------------
// The host owns these; the component only calls GetConnectionProperty at slot 26. The
// slots before it are the host's own and are never called by the component.
struct IHostConnection : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE HostReserved07() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved08() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved09() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved10() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved11() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved12() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved13() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved14() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved15() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved16() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved17() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved18() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved19() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved20() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved21() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved22() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved23() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved24() = 0;
  virtual HRESULT STDMETHODCALLTYPE HostReserved25() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnectionProperty(BSTR name, BSTR* value) = 0;     // 26
};

struct IHostModelDB : public IUnknown {};
struct IHostModelDBFiles : public IUnknown {};

WINCOMPAT_INTERFACE_IID(IDeviceData, IID_IDeviceData)
WINCOMPAT_INTERFACE_IID(IDeviceDataWM, IID_IDeviceDataWM)
WINCOMPAT_INTERFACE_IID(IDataTable, IID_IDataTable)
WINCOMPAT_INTERFACE_IID(IItem, IID_IItem)
WINCOMPAT_INTERFACE_IID(IColumnInfo, IID_IColumnInfo)
WINCOMPAT_INTERFACE_IID(IDeviceProtocol, IID_IDeviceProtocol)
WINCOMPAT_INTERFACE_IID(IHostConnection, IID_IHostConnection)
WINCOMPAT_INTERFACE_IID(IHostModelDB, IID_IHostModelDB)
WINCOMPAT_INTERFACE_IID(IHostModelDBFiles, IID_IHostModelDBFiles)

// ---- Exports of the server library ----------------------------------------
EXTERN_C {
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT STDAPICALLTYPE DllCanUnloadNow(void);
HRESULT STDAPICALLTYPE DllRegisterServer(void);
HRESULT STDAPICALLTYPE DllUnregisterServer(void);
}
