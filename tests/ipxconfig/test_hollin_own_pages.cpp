// (not yet written)
#include "hollin_rig.h"

#include <QTest>

class Placeholder : public QObject {
    Q_OBJECT
};

QTEST_MAIN(Placeholder)
#include "test_hollin_own_pages.moc"
