// The type descriptions of QWBDCAWMLib's dual interfaces, in slot order. The names are the
// ones automation clients call (GetIDsOfNames compares them without case); the dispids are
// the library's. "SUID", "parent", "name" and "type" are property gets.
#include "core/TypeLib.h"

#include <iterator>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/dispatch.h"

namespace qwb {
namespace {

using wincompat::DispInterface;
using wincompat::DispMethod;
using wincompat::DispThunk;

constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kGet = DISPATCH_PROPERTYGET;

const DispMethod kDeviceDataMethods[] = {
    {u"ListDataTable", 1, kMethod, &DispThunk<&IDeviceData::ListDataTable>},
    {u"GetDataTable", 2, kMethod, &DispThunk<&IDeviceData::GetDataTable>},
    {u"SetConneciton", 5, kMethod, &DispThunk<&IDeviceData::SetConneciton>},
    {u"SetProperty", 6, kMethod, &DispThunk<&IDeviceData::SetProperty>},
};

const DispMethod kDataTableMethods[] = {
    {u"ListItemsAllBegin", 12, kMethod, &DispThunk<&IDataTable::ListItemsAllBegin>},
    {u"ListChildItemsBegin", 18, kMethod, &DispThunk<&IDataTable::ListChildItemsBegin>},
    {u"NextItem", 19, kMethod, &DispThunk<&IDataTable::NextItem>},
    {u"ListItemsEnd", 20, kMethod, &DispThunk<&IDataTable::ListItemsEnd>},
    {u"GetItemCount", 21, kMethod, &DispThunk<&IDataTable::GetItemCount>},
    {u"NewItem", 11, kMethod, &DispThunk<&IDataTable::NewItem>},
    {u"CreateItem", 13, kMethod, &DispThunk<&IDataTable::CreateItem>},
    {u"UpdateItem", 14, kMethod, &DispThunk<&IDataTable::UpdateItem>},
    {u"DeleteItem", 15, kMethod, &DispThunk<&IDataTable::DeleteItem>},
    {u"ReadItem", 16, kMethod, &DispThunk<&IDataTable::ReadItem>},
    {u"MoveItem", 17, kMethod, &DispThunk<&IDataTable::MoveItem>},
    {u"GetItem", 22, kMethod, &DispThunk<&IDataTable::GetItem>},
    {u"PutItem", 23, kMethod, &DispThunk<&IDataTable::PutItem>},
    {u"Execute", 24, kMethod, &DispThunk<&IDataTable::Execute>},
    {u"GetProperty", 25, kMethod, &DispThunk<&IDataTable::GetProperty>},
    {u"SetSyncStatus", 26, kMethod, &DispThunk<&IDataTable::SetSyncStatus>},
    {u"ListItemsAllBegin2", 27, kMethod, &DispThunk<&IDataTable::ListItemsAllBegin2>},
    {u"ExecuteMMSCancel", 28, kMethod, &DispThunk<&IDataTable::ExecuteMMSCancel>},
};

const DispMethod kItemMethods[] = {
    {u"SUID", 1, kGet, &DispThunk<&IItem::get_SUID>},
    {u"parent", 2, kGet, &DispThunk<&IItem::get_parent>},
    {u"getType", 5, kMethod, &DispThunk<&IItem::getType>},
    {u"GetColumnCount", 6, kMethod, &DispThunk<&IItem::GetColumnCount>},
    {u"GetColumnInfo", 7, kMethod, &DispThunk<&IItem::GetColumnInfo>},
    {u"GetColumnFlags", 8, kMethod, &DispThunk<&IItem::GetColumnFlags>},
    {u"GetColumnName", 9, kMethod, &DispThunk<&IItem::GetColumnName>},
    {u"GetColumnType", 10, kMethod, &DispThunk<&IItem::GetColumnType>},
    {u"GetLength", 11, kMethod, &DispThunk<&IItem::GetLength>},
    {u"GetOrdinal", 12, kMethod, &DispThunk<&IItem::GetOrdinal>},
    {u"GetStatus", 13, kMethod, &DispThunk<&IItem::GetStatus>},
    {u"SetStatus", 14, kMethod, &DispThunk<&IItem::SetStatus>},
    {u"GetValue", 15, kMethod, &DispThunk<&IItem::GetValue>},
    {u"SetValue", 16, kMethod, &DispThunk<&IItem::SetValue>},
    {u"ReadBlobTo", 18, kMethod, &DispThunk<&IItem::ReadBlobTo>},
    {u"WriteBlobFrom", 19, kMethod, &DispThunk<&IItem::WriteBlobFrom>},
};

const DispMethod kColumnInfoMethods[] = {
    {u"name", 1, kGet, &DispThunk<&IColumnInfo::get_name>},
    {u"type", 2, kGet, &DispThunk<&IColumnInfo::get_type>},
    {u"Test", 3, kMethod, &DispThunk<&IColumnInfo::Test>},
};

}  // namespace

const DispInterface& TypeInfoIDeviceData() {
  static const DispInterface d{&IID_IDeviceData, u"IDeviceData", kDeviceDataMethods,
                               std::size(kDeviceDataMethods)};
  return d;
}

const DispInterface& TypeInfoIDataTable() {
  static const DispInterface d{&IID_IDataTable, u"IDataTable", kDataTableMethods,
                               std::size(kDataTableMethods)};
  return d;
}

const DispInterface& TypeInfoIItem() {
  static const DispInterface d{&IID_IItem, u"IItem", kItemMethods, std::size(kItemMethods)};
  return d;
}

const DispInterface& TypeInfoIColumnInfo() {
  static const DispInterface d{&IID_IColumnInfo, u"IColumnInfo", kColumnInfoMethods,
                               std::size(kColumnInfoMethods)};
  return d;
}

}  // namespace qwb
