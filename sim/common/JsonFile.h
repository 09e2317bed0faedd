// The one way the simulator's JSON files are read: plant files, and the DP master's bus file
// and the slave simulator's slave file. A file is taken only when it is a plain file of at most
// 1 MiB, and its text only when it is one JSON value with no key given twice in an object and
// no NUL byte. Refusals name the place: the path, the line and column, or the key.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace korix
{

inline constexpr std::size_t kMaxJsonFileSize = 1024 * 1024;

// The whole text of the file at strPath. A FIFO, a device or a folder is refused without being
// opened (opening a FIFO would wait for a writer); false with "<path>: <reason>".
bool ReadJsonFile(const std::string& strPath, std::string& strText, std::string& strError);

// Parses strText. False with "line 3, column 7: <what is wrong>" for text that is not JSON or
// holds a NUL byte, and with "slaves[2].address: the key is given twice" for a repeated key.
bool ParseJsonText(const std::string& strText, nlohmann::json& jRoot, std::string& strError);

} // namespace korix
