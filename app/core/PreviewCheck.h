#pragma once
// The checks every preview makes before it reads a byte of a file, and the limits of the
// previews. A check answers with the number of the message that refuses the preview, or 0.
#include <cstdint>

struct tagFileNode;

/// Text previews read the whole file into memory: larger files are refused.
inline constexpr int64_t kPreviewTextLimit = 10485760;
/// Audio and video previews copy at most this much of the head of a file...
inline constexpr int64_t kPreviewMediaLimit = 10485760;
/// ...in pieces of this size.
inline constexpr int64_t kPreviewPieceBytes = 1048576;

/// The quick previewer copies the whole file into the temporary folder on every selection;
/// larger files are not copied (a temporary folder is often kept in memory, and a copy of
/// gigabytes would stall the list each time the file is selected).
inline constexpr int64_t kQuickPreviewLimit = 256ll << 20;

/// The common checks, in order: nothing selected, no valid size or attributes (or a negative
/// size), a folder, an NTFS encrypted file (compressed files are decompressed as
/// they are read). 0 when none refuses.
uint32_t PreviewRefusal(const tagFileNode* record);
/// The common checks, then the text size limit (a file of exactly the limit is accepted).
uint32_t TextPreviewRefusal(const tagFileNode* record);
/// True when an audio/video preview gets only the first kPreviewMediaLimit bytes; the user is
/// told so before the copy starts.
bool MediaPreviewTruncated(const tagFileNode* record);
/// True when the quick previewer may copy the file: it passes the common checks and is no
/// larger than kQuickPreviewLimit.
bool QuickPreviewAllowed(const tagFileNode* record);
