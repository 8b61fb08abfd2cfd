// Every item type's column set: names, ordinals and types in every position (a shifted
// column fails).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/ItemWMFileInfo.h"
#include "core/ItemWMFolder.h"
#include "core/ItemWMMMS.h"
#include "core/ItemWMMessage.h"
#include "core/ItemWMPBGroup.h"
#include "core/ItemWMPhonebook.h"
#include "core/ItemWMSIM.h"
#include "core/ItemWMSchedule.h"
#include "core/ItemWMTask.h"
#include "core/ItemWMVoiceMemo.h"
#include "tables/files/ItemWMFile.h"

namespace qwb {
namespace {

struct SchemaCase {
  const char* item;
  size_t count;
  ComPtr<CColumnsWM> (*createColumns)();
  // "NAME:T ..." with T one of I4, B (VT_BSTR), D (VT_DATE), U (VT_UI4).
  const char* columns;
};

// "A_#:B,C_#:I4*3" repeats the group three times with # = 0, 1, 2.
std::vector<std::pair<std::u16string, VARTYPE>> ParseColumns(const char* text) {
  std::vector<std::pair<std::u16string, VARTYPE>> out;
  std::istringstream in(text);
  std::string token;
  while (in >> token) {
    size_t star = token.find('*');
    const int times = star == std::string::npos ? 1 : std::stoi(token.substr(star + 1));
    std::istringstream group(token.substr(0, star));
    std::vector<std::string> parts;
    for (std::string part; std::getline(group, part, ',');) parts.push_back(part);
    for (int n = 0; n < times; ++n) {
      for (std::string part : parts) {
        if (size_t hash = part.find('#'); hash != std::string::npos) {
          part.replace(hash, 1, std::to_string(n));
        }
        size_t colon = part.find(':');
        std::string type = part.substr(colon + 1);
        VARTYPE vt = type == "I4"  ? VT_I4
                     : type == "B" ? VT_BSTR
                     : type == "D" ? VT_DATE
                     : type == "U" ? VT_UI4
                                   : VT_EMPTY;
        out.emplace_back(std::u16string(part.begin(), part.begin() + colon), vt);
      }
    }
  }
  return out;
}

const SchemaCase kCases[] = {
    {"Phonebook", 168, &CItemWMPhonebook::CreateColumns,
     "ID:I4 LUID:I4 SUID:I4 DISPLAY_NAME:B LAST_NAME:B MIDDLE_NAME:B FIRST_NAME:B NICK_NAME:B "
     "JOBTITLE:B COMPANY:B TEL_COUNT:I4 TEL_TYPE_#:B,TEL_NUM_#:B*14 EMAIL_COUNT:I4 "
     "EMAIL_TYPE_#:B,EMAIL_ADDR_#:B*3 URL_COUNT:I4 URL_TYPE_0:B URL_ADDR_0:B ADDR_COUNT:I4 "
     "ADDR_EXTADDR_#:B,ADDR_STREET_#:B,ADDR_LOCALITY_#:B,ADDR_REGION_#:B,ADDR_POSTALCODE_#:B,"
     "ADDR_COUNTRY_#:B,ADDR_TYPE_#:B*3 BIRTHDAY:D BIRTHDAY_LUNAR:I4 NOTES:B PHOTO_TYPE:B PHOTO:B "
     "PHOTO_LOCAL_PATH:B ANNIVERSARY_COUNT:I4 ANNIVERSARY_TYPE_0:B ANNIVERSARY_DATE_0:D "
     "ANNIVERSARY_LUNAR_0:I4 GROUP_ID_#:I4*50 MESSENGER_COUNT:I4 "
     "MESSENGER_TYPE_#:B,MESSENGER_ID_#:B*3 TITLE_NAME:B SUFFIX_NAME:B DEPARTMENT:B ASSISTANT:B "
     "ASSISTANT_TEL:B MANAGER:B GOVTID:B ACCOUNT:B CUSTOMERID:B OFFICE_LOCATION:B SPOUSE:B "
     "CHILDREN:B CATEGORIES:B RINGTON:B RINGTON_TYPE:B ADD_INFOS:B TEL_DIAL_#:B*14 "},
    {"PBGroup", 23, &CItemWMPBGroup::CreateColumns,
     "SUID:I4 ATTRIBUTE:B NAME:B RINGTON_TYPE:B RINGTON:B MESSAGETON_TYPE:B MESSAGETON:B "
     "PHOTO_TYPE:B PHOTO:B PHOTO_LOCAL_PATH:B GROUP_PROPERTY:B DB_LEDTYPE:B "
     "ICON_GROUP_INDEX:I4 ICON_INDEX:I4 VCARD_IMAGE_TYPE:B PTIMESTAMP:I4 SAVE_TIME:I4 PGUID:B "
     "ITEM_STATE:B PCFLAG:I4 WEBFLAG:I4 REJECT:B MODE:I4 "},
    {"SIM", 20, &CItemWMSIM::CreateColumns,
     "SUID:I4 DISPLAY_NAME:B READING_LAST_NAME:B READING_FIRST_NAME:B TEL_COUNT:I4 "
     "TEL_TYPE_#:B,TEL_NUM_#:B*6 EMAIL_COUNT:I4 EMAIL_TYPE_0:B EMAIL_ADDR_0:B "},
    {"Schedule", 29, &CItemWMSchedule::CreateColumns,
     "SUID:I4 TYPE:I4 SUBJECT:B DETAIL:B START_DATE:D END_DATE:D LOCATION:B ALARM_TYPE:B "
     "ALARM_VALUE:I4 ALARM_BEFORETARGET_VALUE:I4 RECURRENCE_TYPE:I4 RECURRENCE_EVERY:I4 "
     "RECURRENCE_FLAG:I4 RECURRENCE_EXPIRE_TYPE:I4 RECURRENCE_EXPIRE_VALUE:I4 "
     "RECURRENCE_EXPIRE_DATE:D RECURRENCE_EVERY_DATE:D PRIORITY:B DONE_STATE:B ISALLDAY:B "
     "ATTENDEES:B STATUS:B SENSITIVITY:B CATEGORIES:B RECURRENCE_UI_TYPE:B START_DATE_TYPE:B "
     "END_DATE_TYPE:B ALARM_TARGET_DATE:D ALARM_BEFORETARGET_TIME:D "},
    {"Task", 20, &CItemWMTask::CreateColumns,
     "SUID:I4 SUBJECT:B DETAIL:B START_DATE:D END_DATE:D LOCATION:B ALARM_TYPE:B "
     "ALARM_VALUE:I4 ALARM_TIME:D PRIORITY:B DONE_STATE:B RECURRENCE_TYPE:I4 "
     "RECURRENCE_EVERY:I4 RECURRENCE_FLAG:I4 RECURRENCE_EXPIRE_TYPE:I4 "
     "RECURRENCE_EXPIRE_VALUE:I4 RECURRENCE_EXPIRE_DATE:D RECURRENCE_EVERY_DATE:D "
     "SENSITIVITY:B CATEGORIES:B "},
    {"Message", 14, &CItemWMMessage::CreateColumns,
     "SUID:I4 MODE:B TYPE:B FOLDER:B MY_FOLDER:I4 ATTRIBUTE:B CONTENT:B CREATE_DATE:D "
     "SENDER:B RECEIVER:B SEND_STATE:B ATTACHMENT_FILES:B MSG_STATE:B MY_FOLDER_PATH:B "},
    {"MMS", 33, &CItemWMMMS::CreateColumns,
     "SUID:I4 DEVICE_ID:I4 DEVICE_NAME:B MODE:B MY_FOLDER:I4 ATTRIBUTE:B CREATE_DATE:D "
     "SEND_STATE:B MESSAGE_ID:B FOLDER:B TRANSACTION_ID:B SUBJECT:B SENDER:B RECEIVER:B CC:B "
     "BCC:B TIME_STAMP:U TOTAL_SIZE:U BODY_SIZE:U READ_STATUS:I4 READ_REPORT:I4 "
     "DELIVERY_REPORT:I4 MESSAGE_CLASS:B COMPLETED:I4 PRIORITY:B VISIBILITY:I4 MM_STATUS:I4 "
     "DRM:B MSG_FLAG_ATTACHMENT:I4 MSG_FLAG_NOTI:I4 MSG_FLAG_LOCK:I4 "
     "MSG_FLAG_TEMPLATE_MSG_LOCK:I4 ATTACHMENT_FILE_PATH:B "},
    {"VoiceMemo", 6, &CItemWMVoiceMemo::CreateColumns,
     "SUID:I4 FILE_PATH:B NAME:B MODE:B CREATE_DATE:D ATTRIBUTE:B "},
    {"Folder", 16, &CItemWMFolder::CreateColumns,
     "FolderID:I4 Name:B ParentID:I4 FileCount:I4 SubFolderCount:I4 LimitSize:B "
     "LimitFileCount:I4 LimitFileType:B CreateDate:D LastAccessDate:D LastWriteDate:D "
     "Status:I4 StatusIcon:I4 NotAllowedOperation:I4 Reserved1:B Reserved2:B "},
    {"File", 14, &CItemWMFile::CreateColumns,
     "FolderID:I4 Name:B FileSize:B Type:I4 CreateDate:D LastAccessDate:D LastWriteDate:D "
     "Status:I4 StatusIcon:I4 NotAllowedOperation:I4 PCPath:B Reserved1:B Reserved2:B "
     "Reserved3:B "},
    {"FileInfo", 22, &CItemWMFileInfo::CreateColumns,
     "MemorySize:B MemoryUse:B Memory2Size:B Memory2Use:B Memory3Size:B Memory3Use:B "
     "ExtMemorySize:B ExtMemoryUse:B MemoryName:B Memory2Name:B Memory3Name:B "
     "DefaultMusicFolder:B DefaultPictureFolder:B DefaultVideoFolder:B DefaultOtherFolder:B "
     "PacketSize:I4 FileNameLength:I4 FolderNameLength:I4 CodeSchema:I4 MaxFolderDepth:I4 "
     "MaxExtFolderDepth:I4 DeviceAttribute:I4 "},
};

TEST(ColumnSchemaTest, EveryColumnOfEveryItemTypeHasItsNameOrdinalAndType) {
  for (const SchemaCase& c : kCases) {
    SCOPED_TRACE(c.item);
    auto expected = ParseColumns(c.columns);
    ASSERT_EQ(expected.size(), c.count);

    ComPtr<CColumnsWM> columns = c.createColumns();
    ASSERT_TRUE(columns);
    ASSERT_EQ(columns->GetCount(), c.count);
    for (ULONG i = 0; i < c.count; ++i) {
      const ColumnDesc& column = columns->GetColumn(i);
      EXPECT_EQ(column.name, expected[i].first) << "ordinal " << i;
      EXPECT_EQ(column.vt, expected[i].second) << "ordinal " << i;
      EXPECT_EQ(column.reserved, 0u);
      ULONG ordinal = 999;
      EXPECT_TRUE(columns->FindOrdinal(expected[i].first, &ordinal));
      EXPECT_EQ(ordinal, i);
    }
  }
}

}  // namespace
}  // namespace qwb
