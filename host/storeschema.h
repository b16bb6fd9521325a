#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The media-info table, the same on every driver: one row per record, keyed by its project
// and uuid, in the order in which records were first added. A table of its
// own holds the schema's version, so that a later change can bring older stores up to date.

// The record's columns, in the order of the record's fields.
const QStringList &recordColumns();
// Their types on a PostgreSQL server, in the same order.
const QStringList &recordServerTypes();

// Creates the schema when it is missing and brings an older one up to date, in one
// transaction that other consoles opening the same store wait for. Returns what went wrong,
// empty on success.
QString prepareSchema(QSqlDatabase db);

// For a store that may not be written: what keeps it from being read as it is, empty when
// nothing does.
QString checkSchema(QSqlDatabase db);
