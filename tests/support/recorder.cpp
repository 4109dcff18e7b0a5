#include "recorder.h"

#include "state/connectstate.h"

#include <QMetaProperty>

Recorder::Recorder(ConnectState &state)
    : m_state(state)
{
    const QMetaObject *meta = state.metaObject();
    const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("record()"));
    QList<int> connected;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaMethod signal = meta->property(i).notifySignal();
        if (!connected.contains(signal.methodIndex())) {
            connected.append(signal.methodIndex());
            connect(&state, signal, this, slot);
        }
    }
}

void Recorder::record()
{
    const QMetaObject *meta = m_state.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        if (meta->property(i).notifySignalIndex() == senderSignalIndex()) {
            names.append(QString::fromLatin1(meta->property(i).name()));
            break;
        }
    }
    if (names.last() == u"activity")
        activities.append(m_state.activity());
}
