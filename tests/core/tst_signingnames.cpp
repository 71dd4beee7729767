// Certificate names as shown: the compact name and stored escaped names read back.
#include "SigningNames.h"

#include <QTest>

class SigningNamesTest : public QObject {
    Q_OBJECT

private slots:
    void compactName_data();
    void compactName();
    void readableName_data();
    void readableName();
    void listedName_data();
    void listedName();
    void latin1ReadingUndone_data();
    void latin1ReadingUndone();
};

namespace {

// The text's UTF-8 bytes taken one by one as Latin-1 characters.
QString readAsLatin1(const QString& text)
{
    return QString::fromLatin1(text.toUtf8());
}

} // namespace

void SigningNamesTest::compactName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("compact");

    QTest::newRow("common name first") << "CN= Test Signer ,O=Org,C=RU" << "Test Signer";
    QTest::newRow("common name wherever it stands") << "O=Org,CN=Person" << "Person";
    QTest::newRow("country then organisation") << "C=RU,O=ООО Ромашка" << "ООО Ромашка";
    QTest::newRow("lower-case prefix") << "cn=lower" << "lower";
    QTest::newRow("blank before equals matches nothing") << "cn = value,  x=y" << "cn = value, x=y";
    QTest::newRow("surname and given name") << "C=RU,SN=Иванов,G=Иван" << "Иванов Иван";
    QTest::newRow("given name and patronymic after the common name, as RFC 2253 lists them")
        << "GN=Иван Иванович,SN=Иванов,CN=Иванов Иван Иванович,O=ООО Ромашка,C=RU" << "Иванов Иван Иванович";
    QTest::newRow("no common name: surname, given name and patronymic")
        << "GN=Иван Иванович,SN=Иванов,O=ООО Ромашка,C=RU" << "Иванов Иван Иванович";
    QTest::newRow("given name alone") << "givenName=Иван,C=RU" << "Иван";
    QTest::newRow("empty common name passes on") << "CN=,SN=Петров" << "Петров";
    QTest::newRow("organisation before its unit") << "OU=Отдел,O=Завод,C=RU" << "Завод";
    QTest::newRow("unit when nothing else") << "OU=Отдел,C=RU" << "Отдел";
    QTest::newRow("escaped comma stays in the value") << "C=RU,O=Рога\\, Копыта" << "Рога, Копыта";
    QTest::newRow("escaped byte in a value") << "CN=a\\2Cb" << "a,b";
    QTest::newRow("serialNumber is not a surname") << "serialNumber=123,C=RU" << "serialNumber=123,C=RU";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("escaped UTF-8 stored earlier")
        << "CN=\\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD\\D0\\BE\\D0\\B2 \\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD,C=RU" << "Иванов Иван";
}

void SigningNamesTest::compactName()
{
    QFETCH(QString, name);
    QFETCH(QString, compact);
    QCOMPARE(compactCertificateName(name), compact);
}

void SigningNamesTest::readableName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");

    QTest::newRow("escaped Cyrillic")
        << "CN=\\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD\\D0\\BE\\D0\\B2 \\D0\\98\\D0\\B2\\D0\\B0\\D0\\BD,O=\\D0\\9E\\D0\\9E\\D0\\9E "
           "\\D0\\A0\\D0\\BE\\D0\\BC\\D0\\B0\\D1\\88\\D0\\BA\\D0\\B0,C=RU"
        << "CN=Иванов Иван,O=ООО Ромашка,C=RU";
    QTest::newRow("lower-case hex") << "CN=\\d0\\af" << "CN=Я";
    QTest::newRow("already readable") << "CN=Иванов Иван,C=RU" << "CN=Иванов Иван,C=RU";
    QTest::newRow("format escapes stay") << "O=Рога\\, Копыта,CN=a\\+b\\\\D0" << "O=Рога\\, Копыта,CN=a\\+b\\\\D0";
    QTest::newRow("escaped ASCII stays") << "CN=\\2C" << "CN=\\2C";
    QTest::newRow("not UTF-8 stays") << "CN=\\D0\\D0x" << "CN=\\D0\\D0x";
    QTest::newRow("cut sequence stays") << "CN=\\D0" << "CN=\\D0";
    QTest::newRow("trailing backslash") << "CN=a\\" << "CN=a\\";
    // "openssl verify" on a TeletexString holding UTF-8: each byte is a
    // Latin-1 character, printed as its own UTF-8.
    QTest::newRow("UTF-8 once read as Latin-1")
        << "C=RU,CN=\\C3\\90\\C2\\98\\C3\\90\\C2\\B2 \\C3\\90\\C2\\AF" << "C=RU,CN=Ив Я";
    QTest::newRow("Latin-1 name stays") << "CN=M\\C3\\BCller" << "CN=Müller";
}

void SigningNamesTest::readableName()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(readableDistinguishedName(stored), shown);
}

// As the certificate list shows a name: every escape a reader would trip
// over undone, a control byte kept visible.
void SigningNamesTest::listedName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");

    QTest::newRow("quotes") << "O=ООО \\\"Ромашка\\\",CN=Иванов Иван" << "O=ООО \"Ромашка\",CN=Иванов Иван";
    QTest::newRow("quotes around escaped UTF-8") << "O=\\D0\\9E\\D0\\9E\\D0\\9E \\\"\\D0\\A0\\\"" << "O=ООО \"Р\"";
    QTest::newRow("comma and plus") << "O=Рога\\, Копыта,CN=a\\+b" << "O=Рога, Копыта,CN=a+b";
    QTest::newRow("backslash before hex digits") << "CN=a\\\\D0" << "CN=a\\D0";
    QTest::newRow("escaped ASCII byte") << "CN=\\2C\\3d" << "CN=,=";
    QTest::newRow("control byte stays") << "CN=a\\0Ab" << "CN=a\\0Ab";
    QTest::newRow("bytes that are not UTF-8 stay") << "CN=\\D0\\D0x" << "CN=\\D0\\D0x";
    QTest::newRow("trailing backslash") << "CN=a\\" << "CN=a\\";
}

void SigningNamesTest::listedName()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(shownDistinguishedName(stored), shown);
}

void SigningNamesTest::latin1ReadingUndone_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("Cyrillic read as Latin-1") << readAsLatin1(QStringLiteral("Иванов Иван Иванович"))
                                               << "Иванов Иван Иванович";
    QTest::newRow("letters of several scripts") << readAsLatin1(QStringLiteral("ООО «Ёлка» № 5, Müller"))
                                                 << "ООО «Ёлка» № 5, Müller";
    QTest::newRow("Cyrillic as written") << "Иванов" << "Иванов";
    QTest::newRow("ASCII") << "Ivanov, I." << "Ivanov, I.";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("Latin-1 name") << "Müller Ærø" << "Müller Ærø";
    QTest::newRow("a sequence cut short") << readAsLatin1(QStringLiteral("Иван")).chopped(1)
                                          << readAsLatin1(QStringLiteral("Иван")).chopped(1);
    QTest::newRow("read as Latin-1 beside real Cyrillic")
        << readAsLatin1(QStringLiteral("Иван")) + QStringLiteral(" Иван")
        << readAsLatin1(QStringLiteral("Иван")) + QStringLiteral(" Иван");
}

void SigningNamesTest::latin1ReadingUndone()
{
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QCOMPARE(utf8ReadAsLatin1Undone(value), shown);
}

QTEST_GUILESS_MAIN(SigningNamesTest)
#include "tst_signingnames.moc"
