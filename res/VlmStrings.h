#pragma once
// The user-facing string table, looked up by number. Every message, caption and made-up name
// the program shows comes from here, so that the texts live in one place.
#include <cstdint>

// Returns the text of string `id`, or "" when the table has no such entry (never null).
const char* VlmString(uint32_t id);

// Names for the numbers used in code.
enum VlmStringId : uint32_t
{
    IDS_DEEP_SCAN_LABEL = 148,
    IDS_PHYSICAL_DEVICE = 153,
    IDS_BASIC_VOLUME = 154,
    IDS_SIMPLE_VOLUME = 155,
    IDS_MIRRORED_VOLUME = 156,
    IDS_STRIPED_VOLUME = 157,
    IDS_SPANNED_VOLUME = 158,
    IDS_RAID5_VOLUME = 159,
    IDS_GROUP_DOCUMENT = 184,
    IDS_GROUP_ARCHIVE = 185,
    IDS_GROUP_PICTURE = 186,
    IDS_GROUP_AUDIO_VIDEO = 187,
    IDS_GROUP_EMAIL = 188,
    IDS_GROUP_OTHER = 189,
    IDS_BUS_SCSI = 199,
    IDS_BUS_USB = 200,
    IDS_BUS_FIBRE = 201,
    IDS_BUS_RAID = 202,
    IDS_ROOT_PREFIX = 203,
    IDS_DIR_PREFIX = 204,
    IDS_CHOOSE_FILE_TYPES = 214,
    IDS_DELETED_PARTITION = 222,
    IDS_GROUP_DATABASE = 223,
    IDS_RESUME_FOLDER = 2001,
    IDS_BUILDING_TREE = 2002,
    IDS_SELECT_TARGET_DIR = 2019,
    IDS_PLEASE_SELECT_TARGET_DIR = 2020,
    IDS_PATH_NOT_EXIST = 2021,
    IDS_NOT_ENOUGH_SPACE = 2022,
    IDS_SAVED_OK = 2023,
    IDS_CANCEL_SAVING = 2024,
    IDS_HOURS_MINUTES = 2025,
    IDS_ABOUT_MINUTES = 2026,
    IDS_LESS_THAN_MINUTE = 2027,
    IDS_CALCULATING_LAYOUT = 2028,
    IDS_CONTINUE_WITH_COLLECTED = 2029,
    IDS_SELECT_FILES = 2046,
    IDS_FLOPPY_DISK = 2075,
    IDS_LOST_FILES = 2076,
    IDS_UNIDENTIFIED = 2077,
};
