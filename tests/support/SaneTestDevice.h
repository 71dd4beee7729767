#pragma once

#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private SANE configuration that offers only SANE's own "test" device,
// with test.conf settings of the test's choosing. The library finds its
// configuration folder once per process, so all devices of a test program
// share one folder; each rewrites test.conf there, which the library reads
// at each start.
class SaneTestDevice {
public:
    // settings: test.conf keys and values written over the stock file.
    explicit SaneTestDevice(const QMap<QString, QString>& settings = {});

    bool isValid() const { return m_valid; }
    static QString configDir();

    // The frame that the scanimage program reads with these options, or a
    // null image (and the reason in *error) when it fails.
    QImage scanimage(const QStringList& options, QString* error) const;

private:
    bool m_valid = false;
};

// A PNM picture (P4, P5 or P6, 8 or 16 bits) as grey or RGB888; a 16-bit
// sample keeps its high byte.
QImage readPnm(const QByteArray& data);
