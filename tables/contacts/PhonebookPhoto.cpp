#include "tables/contacts/PhonebookPhoto.h"

#include "link/DeviceRecordWM.h"
#include "tables/contacts/PhonebookMapping.h"

namespace qwb {
namespace {

void MarkNoPhoto(FieldMap* f) {
  PutField(*f, u"PHOTO_TYPE", Variant::Str(u"NONE"));
  PutField(*f, u"PHOTO", Variant::Str(u""));
  PutField(*f, u"PHOTO_LOCAL_PATH", Variant::Str(u""));
}

}  // namespace

void FillPictureFields(const CPropertyMap& props, DWORD, FieldMap* fields) {
  if (!props.Has(u"Picture")) MarkNoPhoto(fields);
  // A received picture leaves the columns as they are until the photo folder is written.
}

void AppendPicture(FieldMap& fields, std::vector<uint8_t>* picture) {
  picture->clear();
  if (FieldText(fields, u"PHOTO_LOCAL_PATH").empty()) MarkNoPhoto(&fields);
}

}  // namespace qwb
