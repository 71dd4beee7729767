#pragma once
// What the signing benchmarks share: a signer's PKCS#12 made with the
// openssl program, and driving the signature dialog's controls.

#include "SignatureDialog.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QString>

namespace bench {

// The editor's settings and data kept in dir, with revocation checks off;
// before the first use of settings.
inline void useEditorSettingsIn(const QString& dir)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir + QStringLiteral("/data")));
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-pdf-editor"));
    QSettings().setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    QSettings().sync();
}

// A self-signed signer (CN=Test Signer) as dir/signer.p12 without a pass phrase.
inline QString makeSignerP12(const QString& dir)
{
    const QString p12 = dir + QStringLiteral("/signer.p12");
    QProcess::execute(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/C=RU/CN=Test Signer", "-days", "2",
                       "-keyout", dir + "/k.pem", "-out", dir + "/c.pem"});
    QProcess::execute(QStringLiteral("openssl"), {"pkcs12", "-export", "-inkey", dir + "/k.pem", "-in",
                                                  dir + "/c.pem", "-passout", "pass:", "-out", p12});
    return p12;
}

// A visible, enabled button with that text, or null.
inline QPushButton* buttonIn(QWidget* window, const QString& text)
{
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == text && button->isVisible() && button->isEnabled())
            return button;
    }
    return nullptr;
}

// Signs with the container alone, in the given mode.
inline void chooseContainerAndMode(SignatureDialog* dialog, const QString& p12, int mode)
{
    QList<QLineEdit*> keyFields;
    for (QLineEdit* field : dialog->findChildren<QLineEdit*>()) {
        if (field->parentWidget()->property("title").toString() == QLatin1String("Linux / OpenSSL"))
            keyFields << field;
    }
    keyFields[0]->clear();
    keyFields[1]->clear();
    keyFields[3]->setText(p12);
    for (QComboBox* box : dialog->findChildren<QComboBox*>()) {
        if (box->count() == 5 && box->itemData(4).toInt() == 4)
            box->setCurrentIndex(mode);
    }
}

} // namespace bench
