// A job's file damaged on purpose, for tests: the root page of one of its
// tables or indexes overwritten with garbage, after the WAL is checkpointed
// into the file. Header only (the job library's tests and the suite's use
// it); link SQLite.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace marula::test_support {

inline void garble_root_page(const std::filesystem::path& file, const char* table) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT (SELECT page_size FROM pragma_page_size), rootpage FROM sqlite_schema WHERE name = ?",
                       -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW) << table;
    const auto page_size = sqlite3_column_int64(stmt, 0), root = sqlite3_column_int64(stmt, 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(page_size * (root - 1));
    const std::string garbage(static_cast<std::size_t>(page_size), '\xA5');
    io.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

}  // namespace marula::test_support
