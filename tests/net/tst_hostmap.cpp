#include "net/hostmap.h"
#include "rows.h"
#include "testmain.h"

using mosscatch::columns;
using mosscatch::HostMap;

class TestHostMap : public QObject
{
    Q_OBJECT

private slots:
    // An empty endpoint: the spec is refused and the map stays empty.
    void resolve_data()
    {
        const auto row = columns<QStringList, QString, QString>("specs", "host", "endpoint");
        row("case", {"WWW.a.Com=127.0.0.1:8080"}, "www.A.COM", "127.0.0.1:8080");
        row("wildcard", {"*.a.com=127.0.0.1:81"}, "x.y.a.com", "127.0.0.1:81");
        row("wildcard skips bare domain", {"*.a.com=127.0.0.1:81"}, "a.com", "a.com:80");
        row("wildcard needs the dot", {"*.a.com=127.0.0.1:81"}, "xa.com", "xa.com:80");
        row("exact after wildcard", {"*.a.com=10.0.0.2:2", "w.a.com=10.0.0.1:1"}, "w.a.com",
            "10.0.0.1:1");
        row("longer wildcard", {"*.a.com=10.0.0.1:1", "*.b.a.com=10.0.0.2:2", "*.com=10.0.0.3:3"},
            "x.b.a.com", "10.0.0.2:2");
        row("later replaces", {"*.a.com=10.0.0.1:1", "*.A.com=10.0.0.2:65535"}, "x.a.com",
            "10.0.0.2:65535");
        row("ipv6", {"h=[::1]:8080"}, "h", "::1:8080");
        row("no match", {"www.a.com=127.0.0.1:8080"}, "Other.org", "Other.org:80");
        for (const char *spec :
             {"", "host", "host=", "=1.2.3.4:80", "host=1.2.3.4", "host=1.2.3.4:", "host=:80",
              "host=1.2.3.4:0", "host=1.2.3.4:65536", "host=1.2.3.4:8o", "host=1.2.3.4:-1",
              "host=1.2.3.4:+80", "*=1.2.3.4:80", "*.=1.2.3.4:80", "a*b=1.2.3.4:80",
              "a b=1.2.3.4:80", "host=1.2 .3.4:80", "host:80"})
            QTest::addRow("malformed %s", spec) << QStringList{spec} << "host"
                                                << "";
    }

    void resolve()
    {
        QFETCH(QStringList, specs);
        QFETCH(QString, host);
        QFETCH(QString, endpoint);

        HostMap map;
        for (const QString &spec : specs)
            QCOMPARE(map.addSpec(spec), !endpoint.isEmpty());
        const HostMap::Endpoint resolved = map.resolve(host, 80);
        QCOMPARE(map.isEmpty() ? QString()
                               : resolved.address + ':' + QString::number(resolved.port),
                 endpoint);
    }
};

MOSSCATCH_TEST_APPLESS_MAIN(TestHostMap)
#include "tst_hostmap.moc"
