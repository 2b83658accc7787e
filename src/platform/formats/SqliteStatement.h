#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <sqlite3.h>

namespace nudgerly {

// One compiled statement on a connection the caller keeps open, finalized when it goes away.
class SqliteStatement {
public:
    // Absent when the text does not compile (a missing table or column, a syntax error).
    static std::optional<SqliteStatement> prepare(sqlite3* database, std::string_view sql);

    bool bind(int parameter, int64_t value);
    // Back to before the first step, with every parameter unbound, to run it again.
    void reset();
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();

    // Column reads of the current row; NULL reads as empty text, empty bytes or 0. Views point into
    // the row and stay valid until the statement steps or resets.
    std::string text(int column) const { return std::string(textView(column)); }
    std::string_view textView(int column) const;
    std::string_view bytes(int column) const;
    int64_t integer(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}

    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

}  // namespace nudgerly
