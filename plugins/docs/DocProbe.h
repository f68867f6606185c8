#pragma once
// What a document, archive or mailbox parser learned about the bytes at a file start.
#include <cstdint>

enum class DocKind : uint8_t
{
    None,
    Zip,
    Docx,
    Xlsx,
    Pptx,
    Odt,
    Ods,
    Odp,
    Epub, // ZIP containers
    Doc,
    Xls,
    Ppt,
    Pub,
    Msg, // compound files
    Pdf,
    Rar,
    Pst,
    Dbx,
    Rtf,
    Sqlite,
};

struct DocProbe
{
    DocKind kind = DocKind::None; // None: not a file of this family
    uint64_t size = 0;            // bytes; 0 when the file's end could not be established
};
