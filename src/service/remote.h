#pragma once

#include <QHashFunctions>
#include <QList>
#include <QMetaType>
#include <QString>

// One model that the service offers.
struct RemoteModel
{
    QString id;
    QString owner;

    friend bool operator==(const RemoteModel &, const RemoteModel &) = default;
};

inline size_t qHash(const RemoteModel &model, size_t seed = 0)
{
    return qHashMulti(seed, model.id, model.owner);
}

// One channel group ("渠道接口") that the account may use.
struct RemoteGroup
{
    qint64 id = 0;
    QString platform; // always lower case; may be empty
    QString name; // may be empty

    QString displayName() const;

    friend bool operator==(const RemoteGroup &, const RemoteGroup &) = default;
};

inline size_t qHash(const RemoteGroup &group, size_t seed = 0)
{
    return qHashMulti(seed, group.id, group.platform, group.name);
}

Q_DECLARE_METATYPE(RemoteModel)
Q_DECLARE_METATYPE(RemoteGroup)
