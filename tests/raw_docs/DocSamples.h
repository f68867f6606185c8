#pragma once
// The committed samples of the document, archive and mailbox types (made by
// scripts/make-raw-samples-docs) and the kind each must be recognised as.
#include <cstdint>
#include <string>
#include <vector>

#include "docs/DocProbe.h"

struct DocSample
{
    const char* file;
    DocKind kind;
};

inline const std::vector<DocSample>& DocSamples()
{
    static const std::vector<DocSample> kSamples = {
        {"sample.docx", DocKind::Docx},     {"sample.xlsx", DocKind::Xlsx},      {"sample.pptx", DocKind::Pptx},
        {"sample.odt", DocKind::Odt},       {"sample.ods", DocKind::Ods},        {"sample.odp", DocKind::Odp},
        {"sample.zip", DocKind::Zip},       {"sample-stream.zip", DocKind::Zip}, {"sample-zip64.zip", DocKind::Zip},
        {"sample.doc", DocKind::Doc},       {"sample.xls", DocKind::Xls},        {"sample.ppt", DocKind::Ppt},
        {"sample.pub", DocKind::Pub},       {"sample.pdf", DocKind::Pdf},        {"sample-update.pdf", DocKind::Pdf},
        {"sample.rar", DocKind::Rar},       {"sample-v5.rar", DocKind::Rar},     {"sample.pst", DocKind::Pst},
        {"sample-ansi.pst", DocKind::Pst},  {"sample.dbx", DocKind::Dbx},        {"sample.rtf", DocKind::Rtf},
        {"sample.sqlite", DocKind::Sqlite},
    };
    return kSamples;
}

std::vector<uint8_t> LoadDocSample(const std::string& file);
