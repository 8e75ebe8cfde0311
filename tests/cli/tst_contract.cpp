// The command line's contract as the README documents it, and its tables: the events' fields, the
// result names, the options, the instruments' addresses, how many run at once, and the texts of
// the screen.
#include "Capacity.h"
#include "Commands.h"
#include "Events.h"
#include "Octets.h"
#include "RunProgress.h"
#include "TerminalText.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

// One row of the README's table of events: the top-level fields, and for a field that lists
// names in brackets (`files` (`name`, `size`)) those names.
struct Documented
{
    QStringList fields;
    QMap<QString, QStringList> inner;
};

QString textOf(const QString &path)
{
    QFile file(QD_SOURCE_DIR "/" + path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

QMap<QString, Documented> documentedEvents()
{
    QMap<QString, Documented> events;
    static const QRegularExpression row(R"(^\| `([a-z]+)` \| (.+?) \| [^|]+ \|$)", QRegularExpression::MultilineOption);
    static const QRegularExpression field(R"(`([a-z_-]+)`(?: \(([^)]*)\))?)");
    static const QRegularExpression name("`([a-z_-]+)`");
    for (auto rows = row.globalMatch(textOf("README.md")); rows.hasNext();) {
        const auto match = rows.next();
        Documented &documented = events[match.captured(1)];
        QString text = match.captured(2);
        for (auto fields = field.globalMatch(text); fields.hasNext();) {
            const auto f = fields.next();
            documented.fields << f.captured(1);
            for (auto names = name.globalMatch(f.captured(2)); names.hasNext();)
                documented.inner[f.captured(1)] << names.next().captured(1);
        }
    }
    return events;
}

// An option as "-j --jobs N | check, run", with " | " and its description when it has one.
QString optionLine(const QStringList &names, const QString &value, const QString &commands, const QString &what = {})
{
    QStringList dashed;
    for (const QString &name : names)
        dashed << (name.startsWith('-') ? name : (name.size() == 1 ? "-" : "--") + name);
    const QString line = (dashed + QStringList{value}).join(' ').trimmed() + " | " + commands;
    return what.isEmpty() ? line : line + " | " + what;
}

// The manual page's options ("-j, --jobs N" after .TP; ".RB ( run )" below it for run alone),
// without its own -h and -v.
QStringList manualOptions()
{
    const QString page = textOf("packaging/qd8400-upgrade.1.in");
    const qsizetype begin = page.indexOf(".SH OPTIONS");
    const QStringList lines = page.mid(begin, page.indexOf(".SH ", begin + 1) - begin).split('\n');
    static const QRegularExpression roff("^\\.B[IR]? |\"|\\\\f[BIRP]");
    static const QRegularExpression name(R"((-{1,2}[a-z][a-z-]*)(?: +([A-Z]+))?)");
    QStringList options;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i - 1] != ".TP")
            continue;
        const QString commands = lines.value(i + 1) == ".RB ( run )" ? "run" : "check, run";
        QStringList names;
        for (const QRegularExpressionMatch &match :
             name.globalMatch(QString(lines[i]).replace("\\-", "-").remove(roff))) {
            names << match.captured(1);
            if (!match.captured(1).startsWith("--"))
                continue;
            if (match.captured(1) != "--help" && match.captured(1) != "--version")
                options << optionLine(names, match.captured(2), commands);
            names.clear();
        }
    }
    return options;
}

// What the Ansible module passes on: its argument of that type as the option; the options it always
// gives (--yes to run alone); and those it leaves out: one task is one instrument.
struct PassedOn
{
    QString argument;
    QString type;
    QString option;
};
const PassedOn kPassedOn[] = {{"log_dir", "path", "--log-dir"},
                              {"telnet_port", "int", "--telnet-port"},
                              {"ftp_port", "int", "--ftp-port"},
                              {"time_scale", "float", "--time-scale"},
                              {"wait", "int", "--wait"}};
const QStringList kModuleGives{"--json", "--yes"};
const QStringList kModuleLeavesOut{"--jobs", "--from"};
// The module's type of an option's value, by the value's name.
const QMap<QString, QString> kModuleTypes{{"N", "int"},    {"PORT", "int"},  {"F", "float"},
                                          {"DIR", "path"}, {"FILE", "path"}, {"DURATION", "int"}};

QStringList keysOf(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.removeAll("event");
    keys.sort();
    return keys;
}

Events::Result failure()
{
    return {"127.0.0.9",
            Events::kFailed,
            1,
            7021,
            12.5,
            "Transfer of the kernel system file has failed.\r\nThen",
            "Transferring new kernel file\r\nPlease wait",
            "/logs/127.0.0.9/logfile.txt",
            0.1,
            "/logs/127.0.0.9/logfile.txt: No space left on device"};
}

} // namespace

class TestContract : public QObject
{
    Q_OBJECT

private slots:
    void eventsAsDocumented_data()
    {
        QTest::addColumn<QJsonObject>("event");
        const QString address = "127.0.0.9";
        QTest::newRow("folder") << Events::folder("/up", {{"bzimage", 3, Events::kSound}});
        QTest::newRow("start") << Events::start(address, Procedure::Upgrade, "/up", QDateTime::currentDateTimeUtc(), 42,
                                                0.1);
        QTest::newRow("state") << Events::state(address, 1022);
        QTest::newRow("caption") << Events::caption(address, "Identifying connected device");
        QTest::newRow("progress") << Events::progress(address, 3, 134, 2);
        QTest::newRow("transfer") << Events::transfer(address, "bzimage", 10, 20);
        QTest::newRow("result") << Events::result(failure());
        QTest::newRow("interrupt") << Events::interrupt("SIGINT", 1, 3, 2);
        QTest::newRow("waiting") << Events::waiting(address, "not in maintenance mode", 4.5);
        QTest::newRow("maintenance") << Events::maintenance(address, 250);
        QTest::newRow("summary") << Events::summary(1, {failure()});
    }

    // Every event has the fields of its row in the README and no other; its arrays' objects too.
    void eventsAsDocumented()
    {
        QFETCH(QJsonObject, event);
        const QString name = Events::nameOf(event);
        QCOMPARE(name, QString::fromLatin1(QTest::currentDataTag()));
        const QMap<QString, Documented> documented = documentedEvents();
        QVERIFY2(documented.contains(name), qPrintable(name));
        QStringList fields = documented[name].fields;
        fields.sort();
        QCOMPARE(keysOf(event), fields);
        for (auto inner = documented[name].inner.cbegin(); inner != documented[name].inner.cend(); ++inner) {
            QStringList names = inner.value();
            names.sort();
            const QJsonValue value = event[inner.key()];
            if (value.isArray())
                QCOMPARE(keysOf(value.toArray().first().toObject()), names);
            else if (inner.key() == "result")
                QCOMPARE(names, [] {
                    QStringList results = Events::kResults;
                    results.sort();
                    return results;
                }());
        }
        if (name == Events::kResult) {
            const Events::Result read = Events::resultOf(event);
            QCOMPARE(read.message, failure().message);
            QCOMPARE(read.caption, failure().caption);
            QCOMPARE(read.log, failure().log);
            QCOMPARE(read.timeScale, failure().timeScale);
            QCOMPARE(read.logIncomplete, failure().logIncomplete);
        }
    }

    // Every option as the README's table, the manual page and --help give it, from its row; and the
    // Ansible module's arguments that pass options on, with their types and defaults.
    void optionsAsDocumented()
    {
        const QList<Commands::OptionText> all = Commands::options();
        QStringList rows;
        QStringList documented;
        QStringList manual;
        for (const Commands::OptionText &option : all) {
            rows << optionLine(option.names, option.valueName, option.commands.join(", "), option.description);
            manual << optionLine(option.names, option.valueName, option.commands.join(", "));
        }
        static const QRegularExpression tableRow(R"(^\| (`-.*`) \| ([a-z, ]+) \| (.+) \|$)",
                                                 QRegularExpression::MultilineOption);
        for (const QRegularExpressionMatch &match : tableRow.globalMatch(textOf("README.md"))) {
            const QStringList words = match.captured(1).remove('`').remove(',').split(' ');
            documented << optionLine(words.filter(QRegularExpression("^-")),
                                     words.filter(QRegularExpression("^[A-Z]")).join(' '), match.captured(2),
                                     match.captured(3));
        }
        QCOMPARE(documented, rows);
        QCOMPARE(manualOptions(), manual);

        const QString module = textOf("ansible/ansible_collections/qd8400/upgrade/plugins/modules/firmware.py");
        QStringList decided = kModuleGives + kModuleLeavesOut;
        for (const PassedOn &passed : kPassedOn) {
            decided << passed.option;
            const auto option = std::find_if(all.cbegin(), all.cend(), [&](const Commands::OptionText &o) {
                return "--" + o.names.last() == passed.option;
            });
            QVERIFY2(option != all.cend(), qPrintable(passed.option));
            QCOMPARE(kModuleTypes.value(option->valueName), passed.type);
            // The argument as the module declares it: its type, and its default where it has one.
            const QRegularExpressionMatch declared =
                QRegularExpression("\n    " + passed.argument + "=dict\\(type=\"(\\w+)\"(?:, default=([^)]+))?\\),")
                    .match(module);
            QVERIFY2(declared.hasMatch(), qPrintable(passed.argument));
            QCOMPARE(declared.captured(1), passed.type);
            if (!option->given.isEmpty())
                QCOMPARE(declared.captured(2).toDouble(), option->given.toDouble());
            QVERIFY(module.contains('"' + passed.option + '"') &&
                    module.contains("params[\"" + passed.argument + "\"]"));
        }
        for (const QString &given : kModuleGives)
            QVERIFY2(module.contains('"' + given + '"'), qPrintable(given));
        QStringList options;
        for (const Commands::OptionText &option : all)
            options << "--" + option.names.last();
        decided.sort();
        options.sort();
        QCOMPARE(decided, options);
    }

    // The fewest of: --jobs or 256, what the open files hold at 4 an instrument less 32 for the
    // fleet, and without --jobs half the memory available at 16 MiB an instrument; at least one.
    void jobs_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<qsizetype>("openFiles");
        QTest::addColumn<qsizetype>("availableMiB");
        QTest::addColumn<qsizetype>("jobs");
        QTest::newRow("the ceiling") << 0 << qsizetype(1 << 20) << qsizetype(1 << 20) << qsizetype(256);
        QTest::newRow("the open files") << 0 << qsizetype(1024) << qsizetype(1 << 20) << qsizetype(248);
        QTest::newRow("the memory") << 0 << qsizetype(1024) << qsizetype(1600) << qsizetype(50);
        QTest::newRow("the memory unknown") << 0 << qsizetype(1024) << qsizetype(0) << qsizetype(248);
        QTest::newRow("too little memory for one") << 0 << qsizetype(1024) << qsizetype(20) << qsizetype(1);
        QTest::newRow("given, the memory aside") << 300 << qsizetype(1 << 20) << qsizetype(20) << qsizetype(300);
        QTest::newRow("given, beyond the open files") << 300 << qsizetype(1024) << qsizetype(0) << qsizetype(248);
        QTest::newRow("no open file to spare") << 4 << qsizetype(32) << qsizetype(0) << qsizetype(1);
    }

    void jobs()
    {
        QFETCH(int, given);
        QFETCH(qsizetype, openFiles);
        QFETCH(qsizetype, availableMiB);
        QFETCH(qsizetype, jobs);
        QCOMPARE(Capacity::jobs(given, openFiles, availableMiB), jobs);
    }

    // Head and tail kept whole, the text between cut with "…" or left out; a transfer's figures in
    // the unit of its size.
    void screenTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto fitted = [](const char *head, const char *text, const char *tail, int width) {
            return TerminalText::fitted(head, text, tail, width);
        };
        QTest::newRow("room for all") << fitted("ab ", "caption", " [1]", 14) << "ab caption [1]";
        QTest::newRow("cut") << fitted("ab ", "caption", " [1]", 11) << "ab cap… [1]";
        QTest::newRow("two columns left") << fitted("ab ", "caption", " [1]", 9) << "ab c… [1]";
        QTest::newRow("one column: left out") << fitted("ab ", "caption", " [1]", 8) << "ab  [1]";
        QTest::newRow("no room for the tail") << fitted("ab ", "caption", " [1]", 5) << "ab  [";
        QTest::newRow("bytes") << RunProgress::transferText("autoexec.bat", 0, 1023) << "autoexec.bat: 0 of 1023 bytes";
        QTest::newRow("KiB from 1 KiB") << RunProgress::transferText("update.tar", 512, 1024)
                                        << "update.tar: 1 of 1 KiB";
        QTest::newRow("KiB rounded") << RunProgress::transferText("bzimage", 486400, 972800)
                                     << "bzimage: 475 of 950 KiB";
        QTest::newRow("MiB from 1 MiB") << RunProgress::transferText("qd8400.rfs", 1258291, 4194304)
                                        << "qd8400.rfs: 1.2 of 4.0 MiB";
    }

    void screenTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    // A transfer's events, however often its progress comes: the first and the last figures, once
    // each, and at most five a second between, counted against the time the progress took.
    void transferEventsAtMostFiveASecond()
    {
        QTemporaryFile written;
        QVERIFY(written.open());
        std::fflush(stdout);
        const int standardOutput = ::dup(STDOUT_FILENO);
        ::dup2(written.handle(), STDOUT_FILENO);
        EventWriter writer;
        QElapsedTimer clock;
        clock.start();
        constexpr qint64 kTotal = 1 << 20;
        for (qint64 sent = 0; sent <= kTotal + 100 * 1024; sent += 1024) // the last figure a hundred times
            writer.transfer(Events::transfer("127.0.0.9", "bzimage", std::min(sent, kTotal), kTotal));
        const double seconds = static_cast<double>(clock.elapsed()) / 1000;
        std::fflush(stdout);
        ::dup2(standardOutput, STDOUT_FILENO);
        ::close(standardOutput);
        QVERIFY(written.seek(0));
        QList<QByteArray> lines = written.readAll().split('\n');
        lines.removeAll(QByteArray());
        QVERIFY2(lines.size() >= 2 && lines.size() <= 2 + 5 * seconds, lines.join("\n").constData());
        QCOMPARE(Events::resultOf(QJsonDocument::fromJson(lines.first()).object()).address, "127.0.0.9");
        QVERIFY(lines.first().contains("\"sent\":0,") && lines.last().contains("\"sent\":1048576,"));
    }

    // Beside the command line's rows (a loopback address, an octet above 255, three octets).
    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: refused
        QTest::addColumn<QString>("problem");
        // clang-format off
        const char *const rows[][4] = {
            {"leading zeros read as the window reads them", "192.168.001.020", "192.168.1.20", ""},
            {"all zero", "0.0.0.0", "", "not a valid IPv4 address: 0.0.0.0"},
            {"this network", "0.1.2.3", "", "(this network, 0.0.0.0/8)"},
            {"multicast", "224.0.0.1", "", "(multicast, 224.0.0.0/4)"},
            {"reserved", "240.1.2.3", "", "(reserved, 240.0.0.0/4)"},
            {"broadcast", "255.255.255.255", "", "(the broadcast address)"},
            {"a stray letter", "10.0.0.1x", "", "not a valid IPv4 address"},
            {"a blank octet", "10.0. .1", "", "not a valid IPv4 address"},
        };
        // clang-format on
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
    }

    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(QString, problem);
        const Octets::Parsed parsed = Octets::deviceAddress(text);
        QCOMPARE(parsed.address, address);
        QVERIFY2(parsed.problem.contains(problem) && parsed.problem.isEmpty() != address.isEmpty(),
                 qPrintable(parsed.problem));
    }
};

QTEST_GUILESS_MAIN(TestContract)
#include "tst_contract.moc"
