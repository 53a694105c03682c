// The job's schema: every table of every store, as one ordered list of
// migrations, with the job's version and the lowest version that can still
// write it (after Chromium's MetaTable).
//
//   PRAGMA application_id   "MRLA": the file is a job
//   PRAGMA user_version     the compatible version: the lowest version of
//                           this program that can read and write the job
//   job_meta.version        the version the job's schema is at
//
// A build reads and writes any job whose compatible version it meets, so a
// later build that only adds tables leaves earlier builds working; it never
// reads or writes tables it does not know. Opening checks, in constant
// time, that the job is data and nothing else: no trigger, no view, and
// every table and index that bears one of our names defined exactly as we
// define it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "job/database.h"

namespace marula::job {

// How opening a job went.
enum class OpenStatus {
    opened,       // readable and writable
    read_only,    // readable only: points offered, nothing stored (message says so)
    cannot_open,  // the folder or database cannot be opened or created
    not_a_job,    // job.db is some other file or database: left untouched
    damaged,      // job.db is a damaged database: left untouched
    too_new,      // written by a later version of this program: left untouched
};

// This build's schema version, and the compatible version it writes.
inline constexpr int kSchemaVersion = 7;
inline constexpr int kCompatibleVersion = 3;
inline constexpr int kApplicationId = 0x4D524C41;  // "MRLA"

// Checks the job behind `db` and, when it is writable and older than this
// build, brings it up to date, all in one transaction. Nothing when it may
// be used; else why not (never having changed a byte of it). Throws
// DbError when SQLite fails otherwise.
std::optional<OpenStatus> prepare_schema(Database& db);

// Why the job behind `db` cannot be used (not a job, one holding code,
// damaged, too new), found in constant time from its header and schema
// alone, in a read transaction that runs nothing the file holds and writes
// nothing; nothing when it may be read. prepare_schema starts with it.
// Throws DbError when SQLite fails otherwise.
std::optional<OpenStatus> refusal(const Database& db);

// The statements that made version `version` of the schema (1 …
// kSchemaVersion) from the one before, for tests that make a job as an
// earlier version left it.
std::string migration_statements(int version);

// The tables and indexes of ours that version `version` holds (0 …
// kSchemaVersion), by name, with the CREATE statement SQLite keeps for
// each, as opening expects them; for the test that holds them to what
// SQLite makes of the migrations.
std::vector<std::pair<std::string, std::string>> migration_objects(int version);

// The full integrity check (every page of the file): "ok", or up to ten
// problems SQLite found.
Read<std::vector<std::string>> check_integrity(const Database& db);

}  // namespace marula::job
