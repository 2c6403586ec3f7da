// Captions and numbers: what reads, what writes, and what is a runtime error.
#include "forms.h"

#include <QTest>

#include <cmath>
#include <limits>

class Conversions : public QObject {
    Q_OBJECT
private slots:
    void textReadsAsNumber_data();
    void textReadsAsNumber();
    void textThatIsNoNumberIsRuntimeError_data();
    void textThatIsNoNumberIsRuntimeError();
    void numbersWriteText_data();
    void numbersWriteText();
    void writtenTextReadsBack();
    void nonFiniteResultIsFloatError();
    void integerPartRoundsTowardMinusInfinity_data();
    void integerPartRoundsTowardMinusInfinity();
    void randomNumbersStayBelowOne();
    void fontSizeInPixels_data();
    void fontSizeInPixels();
    void runtimeErrorTexts();
};

void Conversions::textReadsAsNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("start ammunition") << "120" << 120.0;
    QTest::newRow("zero") << "0" << 0.0;
    QTest::newRow("negative") << "-1" << -1.0;
    QTest::newRow("plus sign") << "+5" << 5.0;
    QTest::newRow("blanks around") << "  119 \t" << 119.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("15 digits") << "999999999999999" << 999999999999999.0;
    QTest::newRow("16 digits") << "1234567890123456" << 1234567890123456.0;
    QTest::newRow("17 digits, rounded to the nearest double") << "12345678901234567" << 12345678901234568.0;
    QTest::newRow("fraction") << "1.5" << 1.5;
    QTest::newRow("fraction without digits before point") << ".25" << 0.25;
    QTest::newRow("exponent") << "1e+21" << 1e21;
    QTest::newRow("capital exponent, negative") << "-2.5E-3" << -2.5e-3;
}

void Conversions::textReadsAsNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(rt::textToDouble(text.toStdString()), value);
}

void Conversions::textThatIsNoNumberIsRuntimeError_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");
    const int mismatch = static_cast<int>(rt::ErrorNumber::TypeMismatch);
    QTest::newRow("empty") << "" << mismatch;
    QTest::newRow("blanks only") << "   " << mismatch;
    QTest::newRow("word") << "Выход" << mismatch;
    QTest::newRow("trailing letter") << "12a" << mismatch;
    QTest::newRow("decimal comma") << "1,5" << mismatch;
    QTest::newRow("two numbers") << "1 2" << mismatch;
    QTest::newRow("sign alone") << "-" << mismatch;
    QTest::newRow("double sign") << "--1" << mismatch;
    QTest::newRow("point alone") << "." << mismatch;
    QTest::newRow("infinity") << "inf" << mismatch;
    QTest::newRow("not a number") << "nan" << mismatch;
    QTest::newRow("hexadecimal") << "0x10" << mismatch;
    QTest::newRow("too large for a double") << "1e999" << static_cast<int>(rt::ErrorNumber::Overflow);
}

void Conversions::textThatIsNoNumberIsRuntimeError()
{
    QFETCH(QString, text);
    QFETCH(int, error);
    try {
        rt::textToDouble(text.toStdString());
        QFAIL("no runtime error raised");
    } catch (const rt::RuntimeError& e) {
        QCOMPARE(static_cast<int>(e.number), error);
        QVERIFY(!e.description.empty());
    }
}

void Conversions::numbersWriteText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("single");
    QTest::addColumn<QString>("text");
    QTest::newRow("119") << 119.0 << false << "119";
    QTest::newRow("-1") << -1.0 << false << "-1";
    QTest::newRow("-2") << -2.0 << false << "-2";
    QTest::newRow("0") << 0.0 << false << "0";
    QTest::newRow("minus zero") << -0.0 << false << "0";
    QTest::newRow("101") << 101.0 << false << "101";
    QTest::newRow("largest exact whole double") << 9007199254740992.0 << false << "9007199254740992";
    QTest::newRow("fraction") << 0.1 << false << "0.1";
    // Whole numbers below 10^15 in magnitude are plain digits, never "1e+05".
    QTest::newRow("100000") << 100000.0 << false << "100000";
    QTest::newRow("-100000") << -100000.0 << false << "-100000";
    QTest::newRow("200000") << 200000.0 << false << "200000";
    QTest::newRow("10^14") << 1e14 << false << "100000000000000";
    QTest::newRow("largest below 10^15") << 999999999999999.0 << false << "999999999999999";
    QTest::newRow("most negative above -10^15") << -999999999999999.0 << false << "-999999999999999";
    QTest::newRow("10^15 keeps the shortest form") << 1e15 << false << "1e+15";
    QTest::newRow("10^21") << 1e21 << false << "1e+21";
    QTest::newRow("fraction above 100000") << 100000.5 << false << "100000.5";
    QTest::newRow("small fraction") << 1e-7 << false << "1e-07";
    QTest::newRow("single 0") << 0.0 << true << "0";
    QTest::newRow("single 11") << 11.0 << true << "11";
    QTest::newRow("single fraction, shortest for a single") << double(0.1f) << true << "0.1";
    QTest::newRow("single 100000") << 100000.0 << true << "100000";
    QTest::newRow("single -100000") << -100000.0 << true << "-100000";
    QTest::newRow("single 2^24") << 16777216.0 << true << "16777216";
    // Whole floats beyond 2^24 are written with the digits they hold.
    QTest::newRow("single 2^24 + 2") << 16777218.0 << true << "16777218";
    QTest::newRow("single 10^10, held exactly") << double(1e10f) << true << "10000000000";
    QTest::newRow("single nearest 10^15 lies below it") << double(1e15f) << true << "999999986991104";
    QTest::newRow("single 10^16 keeps the shortest form") << double(1e16f) << true << "1e+16";
}

void Conversions::numbersWriteText()
{
    QFETCH(double, value);
    QFETCH(bool, single);
    QFETCH(QString, text);
    const std::string written = single ? rt::singleToText(static_cast<float>(value)) : rt::doubleToText(value);
    QCOMPARE(QString::fromStdString(written), text);
}

void Conversions::writtenTextReadsBack()
{
    for (double v : {0.1, 1.0 / 3.0, -123456.789, 1e300, 5e-324, std::numeric_limits<double>::max()})
        QCOMPARE(rt::textToDouble(rt::doubleToText(v)), v);
}

void Conversions::nonFiniteResultIsFloatError()
{
    QCOMPARE(rt::checkedResult(2.0), 2.0);
    for (double v : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        QVERIFY_THROWS_EXCEPTION(rt::RuntimeError, rt::checkedResult(v));
    }
    QVERIFY_THROWS_EXCEPTION(rt::RuntimeError, rt::checkedResult(std::numeric_limits<float>::max() * 12.0f));
}

void Conversions::integerPartRoundsTowardMinusInfinity_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("part");
    QTest::newRow("-0.5") << -0.5f << -1.0f;
    QTest::newRow("-11.999") << -11.999f << -12.0f;
    QTest::newRow("-3") << -3.0f << -3.0f;
    QTest::newRow("0") << 0.0f << 0.0f;
    QTest::newRow("11.999") << 11.999f << 11.0f;
}

void Conversions::integerPartRoundsTowardMinusInfinity()
{
    QFETCH(float, value);
    QFETCH(float, part);
    QCOMPARE(rt::integerPart(value), part);
}

// A draw of 1 would make index 12, which shows no target: the game could
// not be won.
void Conversions::randomNumbersStayBelowOne()
{
    rt::seedRandom(20240601);
    float largest = 0;
    for (int i = 0; i < 1'000'000; ++i) {
        const float r = rt::nextRandom();
        QVERIFY(r >= 0.0f);
        largest = std::max(largest, r);
    }
    QVERIFY2(largest < 1.0f, "a draw reached 1");
    QVERIFY(rt::integerPart(largest * 12.0f) <= 11.0f);
}

// Points at 96 dots per inch, rounded to the nearest pixel; a font with no
// size is the window's default.
void Conversions::fontSizeInPixels_data()
{
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("family");
    QTest::newRow("own size") << 12.0 << 16 << "Own";
    QTest::newRow("9.75 pt: 13 exactly") << 9.75 << 13 << "Own";
    QTest::newRow("8.25 pt: 11 exactly") << 8.25 << 11 << "Own";
    // Sizes whose pixels are no whole number: a truncating conversion
    // would draw 11 pt a pixel too small.
    QTest::newRow("11 pt: 14.67 rounds up") << 11.0 << 15 << "Own";
    QTest::newRow("10 pt: 13.33 rounds down") << 10.0 << 13 << "Own";
    QTest::newRow("no size: the default") << 0.0 << 11 << "Default";
}

void Conversions::fontSizeInPixels()
{
    QFETCH(double, points);
    QFETCH(int, pixels);
    QFETCH(QString, family);
    const rt::FormDesign design{.defaultFont = {"Default", 8.25}};
    const rt::FontDesign own{"Own", points};
    const rt::FontDesign& font = rt::fontOf(design, own);
    QCOMPARE(QString::fromUtf8(font.family.data(), qsizetype(font.family.size())), family);
    QCOMPARE(rt::fontPixels(font), pixels);
}

void Conversions::runtimeErrorTexts()
{
    QCOMPARE(rt::runtimeErrorText(6, "Переполнение"), std::string("Ошибка выполнения 6:\n\nПереполнение"));
    QCOMPARE(rt::runtimeErrorLine(13, "Несоответствие типов"),
             std::string("skeetra: runtime error 13: Несоответствие типов"));
}

QTEST_APPLESS_MAIN(Conversions)
#include "tst_conversions.moc"
