#include "SystemErrorText.h"

#include <cerrno>
#include <cstring>

QString systemErrorText(int code)
{
    switch (code) {
    case EACCES:
    case EPERM: return QStringLiteral("Отказано в доступе");
    case EROFS: return QStringLiteral("Файловая система доступна только для чтения");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("Недостаточно места на диске");
    case ENOENT: return QStringLiteral("Нет такого файла или папки");
    case ENOTDIR: return QStringLiteral("Часть пути не является папкой");
    case EISDIR: return QStringLiteral("Это папка, а не файл");
    case ENAMETOOLONG: return QStringLiteral("Слишком длинное имя файла");
    case EFBIG: return QStringLiteral("Файл больше, чем позволено");
    case ELOOP: return QStringLiteral("Слишком много уровней символических ссылок");
    case EMFILE: return QStringLiteral("Программа открыла слишком много файлов");
    case ENFILE: return QStringLiteral("В системе открыто слишком много файлов");
    case EIO: return QStringLiteral("Ошибка ввода-вывода");
    case ENOMEM: return QStringLiteral("Недостаточно памяти");
    case EBUSY: return QStringLiteral("Файл или устройство занято");
    case EEXIST: return QStringLiteral("Файл уже существует");
    default: return QString::fromLocal8Bit(std::strerror(code));
    }
}
