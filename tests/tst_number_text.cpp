#include "units/number_text.h"
#include "units/temperature.h"

#include <QRandomGenerator>
#include <QTest>

#include <clocale>
#include <limits>

using namespace kolva;

class NumberTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // A decimal comma locale must change nothing: only "." is ever a decimal point.
        // scripts/setup.sh generates the locale; elsewhere the test still runs, less strictly.
        if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
            QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
        else
            qWarning("de_DE.UTF-8 is not installed: running under the C locale");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    // How a field's text reads: its leading number, and whether the whole text is a number.
    // clang-format off
    void reading_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("number");
        const double huge = std::numeric_limits<double>::max();
        QTest::newRow("plain") << "25.3" << 25.3 << true;
        QTest::newRow("spaces around") << " 25 " << 25.0 << true;
        QTest::newRow("blank then junk") << " 25.3xyz" << 25.3 << false;
        QTest::newRow("comma ends the number") << "25,5" << 25.0 << false;
        QTest::newRow("fraction only") << ".1" << 0.1 << true;
        QTest::newRow("negative fraction") << "-.5" << -0.5 << true;
        QTest::newRow("trailing point") << "25." << 25.0 << true;
        QTest::newRow("plus sign") << "+7.5" << 7.5 << true;
        QTest::newRow("letters") << "abc" << 0.0 << false;
        QTest::newRow("empty") << "" << 0.0 << false;
        QTest::newRow("spaces only") << "   " << 0.0 << false;
        QTest::newRow("sign only") << "-" << 0.0 << false;
        QTest::newRow("point only") << "." << 0.0 << false;
        QTest::newRow("exponent") << "1e3" << 1000.0 << true;
        QTest::newRow("capital exponent") << "1E3" << 1000.0 << true;
        QTest::newRow("d exponent") << "1d3" << 1000.0 << true;
        QTest::newRow("D exponent negative") << "25D-1" << 2.5 << true;
        QTest::newRow("exponent without digits") << "5e" << 5.0 << false;
        QTest::newRow("exponent sign without digits") << "5e+x" << 5.0 << false;
        QTest::newRow("blanks inside") << " 2 5 . 3" << 25.3 << false;
        QTest::newRow("tab and line feed inside") << "\t1\n2" << 12.0 << false;
        QTest::newRow("carriage return ends") << "1\r2" << 1.0 << false;
        QTest::newRow("second point ends") << "1.2.3" << 1.2 << false;
        QTest::newRow("fault word") << "ComEr" << 0.0 << false;
        QTest::newRow("tab before") << "\t25" << 25.0 << false;
        QTest::newRow("overflow saturates") << "1e999" << huge << true;
        QTest::newRow("negative overflow") << "-1e999" << -huge << true;
        QTest::newRow("underflow is zero") << "1e-999" << 0.0 << true;
        QTest::newRow("long exponent") << "1e99999999999999999999" << huge << true;
        QTest::newRow("many digits") << QString(400, QLatin1Char('9')) << huge << true;
        QTest::newRow("arabic-indic digit") << QStringLiteral("\u0663") << 0.0 << false;
    }
    // clang-format on
    void reading() {
        QFETCH(QString, text);
        QTEST(LeadingNumber(text), "value");
        QTEST(IsNumberText(text), "number");
    }

    // clang-format off
    void oneDecimalText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 25.0 << "25.0";
        QTest::newRow("half up on decimal digits") << 25.05 << "25.1";
        QTest::newRow("below half") << 25.04 << "25.0";
        QTest::newRow("negative half away") << -3.25 << "-3.3";
        QTest::newRow("small half") << 0.15 << "0.2";
        QTest::newRow("hundredths half") << 0.05 << "0.1";
        QTest::newRow("leading zero") << 0.5 << "0.5";
        QTest::newRow("to zero") << 0.04 << "0.0";
        QTest::newRow("negative to zero") << -0.04 << "0.0";
        QTest::newRow("fraction") << 12345.67 << "12345.7";
        QTest::newRow("negative") << -17.78 << "-17.8";
        QTest::newRow("millions") << 1234567.0 << "1234567.0";
        QTest::newRow("carry") << 99.95 << "100.0";
        QTest::newRow("no exponent") << 1e20 << "100000000000000000000.0";
        QTest::newRow("tiny") << 1e-300 << "0.0";
    }
    // clang-format on
    void oneDecimalText() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(OneDecimalText(value), text);
    }

    // Shortest texts: 15 significant digits for a double, 7 for a single.
    // clang-format off
    void shortestText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("single");
        QTest::addColumn<QString>("text");
        const double huge = std::numeric_limits<double>::max();
        QTest::newRow("whole") << 25.0 << false << "25";
        QTest::newRow("sum of tenths") << 25.1 + 0.1 << false << "25.2";
        QTest::newRow("negative half") << -0.5 << false << "-0.5";
        QTest::newRow("negative zero") << -0.0 << false << "0";
        QTest::newRow("small limit") << 0.0001 << false << "0.0001";
        QTest::newRow("below small limit") << 0.00001 << false << "1E-05";
        QTest::newRow("large limit") << 1e15 << false << "1E+15";
        QTest::newRow("below large limit") << 999999999999999.0 << false << "999999999999999";
        QTest::newRow("rounds up to large limit") << 999999999999999.9 << false << "1E+15";
        QTest::newRow("fifteen digits") << 1.0 / 3.0 << false << "0.333333333333333";
        QTest::newRow("exponent mantissa") << 1.25e20 << false << "1.25E+20";
        QTest::newRow("three exponent digits") << huge << false << "1.79769313486232E+308";
        QTest::newRow("infinity clamps") << std::numeric_limits<double>::infinity() << false
                                         << "1.79769313486232E+308";
        QTest::newRow("single whole") << 77.0 << true << "77";
        QTest::newRow("single fraction") << double(77.18f) << true << "77.18";
        QTest::newRow("single seven digits") << double(-17.777779f) << true << "-17.77778";
        QTest::newRow("single large limit") << 1e7 << true << "1E+07";
        QTest::newRow("single below large limit") << 9999999.0 << true << "9999999";
        QTest::newRow("single small") << double(0.00001f) << true << "1E-05";
        QTest::newRow("single maximum") << double(std::numeric_limits<float>::max()) << true
                                        << "3.402823E+38";
    }
    // clang-format on
    void shortestText() {
        QFETCH(double, value);
        QFETCH(bool, single);
        QTEST(single ? SingleNumberText(float(value)) : NumberText(value), "text");
    }

    // clang-format off
    void conversion_data() {
        QTest::addColumn<QString>("celsius");
        QTest::addColumn<QString>("fahrenheit");
        QTest::addColumn<QString>("back");
        QTest::newRow("25.0") << "25.0" << "77" << "25";
        QTest::newRow("25.1") << "25.1" << "77.18" << "25.1";
        QTest::newRow("26.6") << "26.6" << "79.88" << "26.6";
        QTest::newRow("32.0") << "32.0" << "89.6" << "32";
        QTest::newRow("33.6") << "33.6" << "92.48" << "33.6";
        QTest::newRow("-40") << "-40" << "-40" << "-40";
        QTest::newRow("too many digits") << "25.123456789" << "77.22222" << "25.12346";
        QTest::newRow("no number") << "abc" << "32" << "0";
        QTest::newRow("past single range") << "1e39" << "3.402823E+38" << "1.890457E+38";
    }
    // clang-format on
    void conversion() {
        QFETCH(QString, celsius);
        QFETCH(QString, fahrenheit);
        QFETCH(QString, back);
        const QString f = SingleNumberText(CtoF(ToSingle(LeadingNumber(celsius))));
        QCOMPARE(f, fahrenheit);
        QCOMPARE(SingleNumberText(FtoC(ToSingle(LeadingNumber(f)))), back);
    }

    // Whatever a number is, its NumberText reads back to the same 15 significant digits.
    void numberTextRoundTrip() {
        QRandomGenerator random(20261206);
        for (int i = 0; i < 200000; ++i) {
            const double mantissa = random.generateDouble() * 20.0 - 10.0;
            const double value = std::ldexp(mantissa, random.bounded(-1100, 1100));
            if (!std::isfinite(value))
                continue;
            const QString text = NumberText(value);
            const double back = LeadingNumber(text);
            QVERIFY2(NumberText(back) == text, qPrintable(text));
            QVERIFY2(std::fabs(back - value) <= std::fabs(value) * 5e-15 || back == 0.0 ||
                         std::fabs(value) < std::numeric_limits<double>::min() * 1e15,
                     qPrintable(text));
            QVERIFY(!text.contains(QLatin1Char(',')));
        }
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "tst_number_text.moc"
