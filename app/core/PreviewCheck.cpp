#include "core/PreviewCheck.h"

#include "fs/tagFileNode.h"
#include "core/VlmStrings.h"

uint32_t PreviewRefusal(const tagFileNode* record)
{
    if (record == nullptr) return IDS_PREVIEW_SELECT_FILE;
    constexpr uint16_t kNeeded = FN_MASK_SIZE | FN_MASK_ATTRIBUTES;
    // A negative size comes only from a damaged record; no stream can serve it.
    if ((record->wValidMask & kNeeded) != kNeeded || record->s64Size < 0) return IDS_PREVIEW_BAD_SIZE;
    if (record->wAttributes & FN_ATTR_FOLDER) return IDS_PREVIEW_DIRECTORY;
    if (record->wAttributes & FN_ATTR_ENCRYPTED) return IDS_PREVIEW_ENCRYPTED;
    return 0;
}

uint32_t TextPreviewRefusal(const tagFileNode* record)
{
    if (const uint32_t refusal = PreviewRefusal(record); refusal != 0) return refusal;
    return record->s64Size > kPreviewTextLimit ? uint32_t{IDS_PREVIEW_TEXT_TOO_BIG} : 0u;
}

bool MediaPreviewTruncated(const tagFileNode* record)
{
    return record != nullptr && record->s64Size > kPreviewMediaLimit;
}

bool QuickPreviewAllowed(const tagFileNode* record)
{
    return PreviewRefusal(record) == 0 && record->s64Size <= kQuickPreviewLimit;
}
