#include "colTerminalOutput.h"

#include <QTest>

class TestTerminalOutput : public QObject
{
    Q_OBJECT

    static QStringList lines(const colTerminalOutput &output)
    {
        QStringList result;
        for (const cOutputLine &line : output)
            result << line.mText;
        return result;
    }

private slots:
    void splitsOnlyOnCrLf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("command output") << "ls\r\na\r\n\r\nbash-2.04#" << QStringList{"ls", "a", "", "bash-2.04#"};
        QTest::newRow("ends with CR LF") << "ls\r\na\r\n" << QStringList{"ls", "a"};
        QTest::newRow("empty text") << "" << QStringList{};
        QTest::newRow("lone CR and LF stay") << "a\rb\nc\r\nd" << QStringList{"a\rb\nc", "d"};
        QTest::newRow("only line ends") << "\r\n\r\n" << QStringList{"", ""};
        QTest::newRow("CR CR LF") << "x\r\r\ny" << QStringList{"x\r", "y"};
        QTest::newRow("no trimming") << "  a  \r\n b" << QStringList{"  a  ", " b"};
    }

    void splitsOnlyOnCrLf()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        colTerminalOutput output;
        output.OutputRead(text);
        QCOMPARE(lines(output), expected);
        QCOMPARE(output.Count(), expected.size());
    }

    void readsAppendUntilCleared()
    {
        colTerminalOutput output;
        output.OutputRead("a\r\nb");
        output.OutputRead("c\r\n");
        QCOMPARE(lines(output), (QStringList{"a", "b", "c"}));
        output.Clear();
        QCOMPARE(output.Count(), 0);
        output.OutputRead("d");
        QCOMPARE(lines(output), QStringList{"d"});
    }

    void outputTextIsEmptyOutOfRange()
    {
        colTerminalOutput output;
        output.OutputRead("pwd\r\n/mnt/nand1\r\nbash-2.04# ");
        QCOMPARE(output.OutputText(0), QString());
        QCOMPARE(output.OutputText(1), QString("pwd"));
        QCOMPARE(output.OutputText(2), QString("/mnt/nand1"));
        QCOMPARE(output.OutputText(3), QString("bash-2.04# "));
        QCOMPARE(output.OutputText(4), QString());
        QCOMPARE(output.OutputText(-1), QString());
    }

    void containsAnySearchesTheWindow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("found");
        const QString three = "ps aux\r\n  12 root  Measure\r\nbash-2.04# ";
        QTest::newRow("any letter case") << three << "measure" << 1 << -1 << true;
        QTest::newRow("echo line is skipped") << three << "ps aux" << 1 << -1 << false;
        QTest::newRow("prompt line is skipped") << three << "bash" << 1 << -1 << false;
        QTest::newRow("whole list") << three << "bash" << 0 << 0 << true;
        QTest::newRow("two lines leave no window") << "ps aux\r\nbash-2.04# "
                                                   << "" << 1 << -1 << false;
        QTest::newRow("empty list") << ""
                                    << "" << 0 << 0 << false;
        QTest::newRow("negative start") << three << "Measure" << -1 << -1 << false;
        QTest::newRow("positive end") << three << "Measure" << 1 << 1 << false;
        QTest::newRow("start at count") << three << "Measure" << 3 << 0 << false;
        QTest::newRow("end skips all") << three << "Measure" << 0 << -3 << false;
        QTest::newRow("last line only") << three << "bash" << 2 << 0 << true;
    }

    void containsAnySearchesTheWindow()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, found);
        colTerminalOutput output;
        output.OutputRead(text);
        QCOMPARE(output.ContainsAny(pattern, static_cast<qint16>(start), static_cast<qint16>(end)), found);
    }

    void keyedElements()
    {
        colTerminalOutput output;
        output.Add("first");
        cOutputLine &second = output.Add("second", "two");
        second.mText = "changed";
        QCOMPARE(output.Item("two").mText, QString("changed"));
        QCOMPARE(output.Item(2).mText, QString("changed"));
        output.Remove("two");
        QCOMPARE(lines(output), QStringList{"first"});
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, output.Item("two"));
        output.Remove(1);
        QCOMPARE(output.Count(), 0);
    }
};

QTEST_APPLESS_MAIN(TestTerminalOutput)
#include "tst_terminal_output.moc"
