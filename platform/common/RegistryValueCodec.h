// How a registry value is kept in a hive: its type in one column and its data in
// the next, a DWORD as an integer, a string as text, a multi-string as a JSON
// array of strings, binary data as a blob.
#pragma once

#include "platform/Registry.h"

#include <sqlite3.h>

#include <string>

namespace kestrun::platform::hive {

// Binds the value's data to parameter i; an SQLite result code.
int BindValue(sqlite3_stmt* stmt, int i, const RegValue& value);

// Reads a value from columns (type, data) starting at column i; EIO when the
// stored form does not fit its type.
int DecodeValue(sqlite3_stmt* stmt, int i, RegValue& out);

// Column i as UTF-8 text, empty when it is null.
std::string ColumnText(sqlite3_stmt* stmt, int i);

// The types a hive keeps.
bool KnownType(ValueType type);

}  // namespace kestrun::platform::hive
