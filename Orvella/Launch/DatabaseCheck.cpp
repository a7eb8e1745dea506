#include "Orvella/Launch/DatabaseCheck.hpp"

#include <sqlite3.h>

#include <system_error>

namespace Orvella {

std::optional<std::string> databaseDefect(const std::filesystem::path& file)
{
    sqlite3* database = nullptr;
    if (sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::string message = database ? sqlite3_errmsg(database) : "out of memory";
        sqlite3_close(database);
        return message;
    }
    std::optional<std::string> defect;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database, "PRAGMA quick_check", -1, &statement, nullptr) != SQLITE_OK) {
        defect = sqlite3_errmsg(database);
    } else {
        const int step = sqlite3_step(statement);
        if (step != SQLITE_ROW) {
            defect = sqlite3_errmsg(database);
        } else if (const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                   text == nullptr || std::string_view(text) != "ok") {
            defect = text ? text : "quick_check gave no answer";
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return defect;
}

void removeLostDatabase(const std::filesystem::path& file)
{
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    std::filesystem::remove(file.string() + "-wal", ignored);
    std::filesystem::remove(file.string() + "-shm", ignored);
}

} // namespace Orvella
