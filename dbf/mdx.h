// The tag names of a dBase IV/5/7 production index (.mdx), for describing a
// table: the engine neither reads nor writes the index's keys.
#pragma once

#include <string>
#include <vector>

#include "dbf/file_io.h"

namespace lumbra {

// The names of the tags in use, in the order of the tag table. Throws
// EDbfError "Index '<path>': <problem>" (kind Corrupt) when the file cannot
// hold the tag table its header describes.
std::vector<std::string> ReadMdxTagNames(IFileIo& file);

}  // namespace lumbra
