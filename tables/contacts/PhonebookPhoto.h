// The photo columns of a contact (PHOTO_TYPE, PHOTO, PHOTO_LOCAL_PATH) and the "Picture"
// property they travel as. The picture files of the per-user photo folder and the reduction
// of large images to 108 x 144 come with the imaging stand-in; until then a contact without a
// picture reads as "NONE" and a picture is neither saved nor sent.
#pragma once

#include <cstdint>
#include <vector>

#include "core/FieldMap.h"
#include "wincompat/wintypes.h"

namespace qwb {

class CPropertyMap;

// Device -> item: the photo columns of contact `entryId` from its "Picture" property.
void FillPictureFields(const CPropertyMap& props, DWORD entryId, FieldMap* fields);

// Item -> device: the bytes of "Picture" (left empty when none is sent); an item without a
// local photo path is marked as having none.
void AppendPicture(FieldMap& fields, std::vector<uint8_t>* picture);

}  // namespace qwb
