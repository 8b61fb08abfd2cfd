// The photo of a contact. On the phone it is the byte-block property "Picture"; on the PC it
// is a file in the per-user photo folder named by the item's columns PHOTO_TYPE
// ("IMAGE_PHOTO" or "NONE"), PHOTO (the file name) and PHOTO_LOCAL_PATH (its full path).
//
// A received picture is kept as Image%04d.jpg of its contact's entry id; a changed picture
// moves to Image%04d_1.jpg (and back on the next change), so a host that caches by path sees
// the change. A picture to send is taken from PHOTO_LOCAL_PATH: one that fits 108 x 144 is
// sent with its file's bytes unchanged, a larger one is reduced to fit and saved as JPEG at
// quality 50. Photo trouble never fails the contact: the columns are left as they are and no
// picture is sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/FieldMap.h"
#include "wincompat/wintypes.h"

namespace qwb {

class CPropertyMap;

// The largest picture sent to the phone, width x height.
inline constexpr UINT kPictureMaxWidth = 108;
inline constexpr UINT kPictureMaxHeight = 144;

// The photo folder: APPDATA with its fixed sub-path. Empty when APPDATA cannot be read.
std::u16string PhotoFolder();
// Makes the photo folder (and the folders above it) when missing. False when it is not usable;
// an existing folder is not a failure.
bool MakePhotoFolder(std::u16string* folder);

// The size a w x h picture is sent at: unchanged when it fits kPictureMaxWidth x
// kPictureMaxHeight (`reduce` false), otherwise width 108 and the height in proportion, or,
// when that is still too tall, height 144 and the width in proportion (integer division).
struct PictureSize {
  UINT width;
  UINT height;
  bool reduce;
};
PictureSize SentPictureSize(UINT w, UINT h);

// Device -> item: the photo columns of contact `entryId` from its "Picture" property, writing
// the picture to the photo folder when it is new or has changed.
void fillPictureFieldsToMap(const CPropertyMap& props, DWORD entryId, FieldMap* fields);

// Item -> device: the bytes of "Picture" from the file named by PHOTO_LOCAL_PATH (left empty
// when no picture is sent). Updates the photo columns of `fields` as sending does: "NONE"
// without a path, the temporary file while a picture is sent.
void MakePictureProperty(FieldMap& fields, std::vector<uint8_t>* picture);

}  // namespace qwb
