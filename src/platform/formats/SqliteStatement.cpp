#include "platform/formats/SqliteStatement.h"

#include <limits>

namespace nudgerly {

std::optional<SqliteStatement> SqliteStatement::prepare(sqlite3* database, std::string_view sql) {
    if (database == nullptr || sql.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK ||
        statement == nullptr) {
        sqlite3_finalize(statement);
        return std::nullopt;
    }
    return SqliteStatement(statement);
}

bool SqliteStatement::bind(int parameter, int64_t value) {
    return sqlite3_bind_int64(statement_.get(), parameter, value) == SQLITE_OK;
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

int SqliteStatement::step() {
    return sqlite3_step(statement_.get());
}

std::string_view SqliteStatement::textView(int column) const {
    const auto* characters = sqlite3_column_text(statement_.get(), column);
    if (characters == nullptr) {
        return {};
    }
    return std::string_view(reinterpret_cast<const char*>(characters),
                            static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

std::string_view SqliteStatement::bytes(int column) const {
    const void* blob = sqlite3_column_blob(statement_.get(), column);
    const int size = sqlite3_column_bytes(statement_.get(), column);
    if (blob == nullptr || size < 1) {
        return {};
    }
    return std::string_view(static_cast<const char*>(blob), static_cast<std::size_t>(size));
}

int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_.get(), column);
}

}  // namespace nudgerly
