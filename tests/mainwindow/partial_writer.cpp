// Begins an output as the signing worker does and never finishes it: the
// file is opened out of sight beside its name (see NewFile) and written in
// part, then the program waits to be killed, or crashes.
//   partial_writer <output> wait <pid file>
//   partial_writer <output> crash
// Exit 2 when the output cannot be begun, 3 for bad arguments.
#include "NewFile.h"

#include <QFile>
#include <QString>

#include <csignal>
#include <cstdlib>

#include <unistd.h>

int main(int argc, char** argv)
{
    const bool waits = argc == 4 && QByteArray(argv[2]) == "wait";
    if (!waits && !(argc == 3 && QByteArray(argv[2]) == "crash"))
        return 3;
    NewFile output;
    QString error;
    if (!output.open(QFile::decodeName(argv[1]), &error) || output.device()->write("partial") != 7)
        return 2;
    if (!waits)
        std::abort();
    QFile pid(QFile::decodeName(argv[3]));
    if (!pid.open(QIODevice::WriteOnly) || pid.write(QByteArray::number(qint64(::getpid())) + '\n') <= 0)
        return 2;
    pid.close();
    for (;;)
        ::pause();
}
