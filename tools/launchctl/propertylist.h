#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <stdexcept>

// What launchd takes from a job's XML property list.
struct JobDefinition
{
    QString label;
    QString program; // empty: the first of the arguments
    QStringList arguments; // ProgramArguments, the program's own name first
    bool runAtLoad = false;
};

// Why a property list is not a job launchd would load.
struct MalformedPropertyList : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Reads an XML property list whose top value is a dictionary holding Label, and Program or
// ProgramArguments; throws MalformedPropertyList otherwise.
JobDefinition readJobDefinition(const QByteArray &xml);
