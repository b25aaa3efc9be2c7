#pragma once
// Appending rows to the record files so that no row already written is ever
// lost: each append is complete on disk (written, flushed to the device) when
// the call returns, a failed write is rolled back, and a line left incomplete
// by an earlier crash is closed before the next row is added.
#include <functional>
#include <string>

#include "common/text.h"

namespace vireluz {

// Appends `lines` (whole lines, each ended by CR LF) to the file at `path`
// (a native, UTF-8 file-system path). When the file is missing or empty,
// `header()` is called and its text is written first, in the same write. The
// folder must exist: it is never created here.
//
// Throws VireluzError naming the path and the cause, in French; a missing
// folder gives "Invalid filename : <path> (dossier introuvable)". On failure
// the file is left as it was.
void append_lines_durably(const std::string& path, const std::function<Text()>& header, const Text& lines);

// Creates the folder `path` if it does not exist (its parent must exist).
// Throws VireluzError as above when it cannot be created.
void ensure_folder(const std::string& path);

}  // namespace vireluz
