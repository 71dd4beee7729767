// BIOs that let OpenSSL read and write the program's files in pieces, so a
// large document is never held whole in memory while it is signed.
#include "SigningInternal.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>

namespace {

struct DeviceState {
    QIODevice* device = nullptr;
    qint64 limit = -1;
    qint64 moved = 0;
    bool failed = false;
};

struct RangesState {
    const SplicedFile* file = nullptr;
    QList<QPair<qint64, qint64>> ranges;
    int range = 0;
    qint64 done = 0;  // within the current range
    bool failed = false;
};

// Flushing succeeds: what was written has reached the device.
long plainControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

template <typename State>
int destroyState(BIO* bio)
{
    delete static_cast<State*>(BIO_get_data(bio));
    BIO_set_data(bio, nullptr);
    return 1;
}

using ReadFunction = int (*)(BIO*, char*, size_t, size_t*);
using WriteFunction = int (*)(BIO*, const char*, size_t, size_t*);

// Made once per kind and kept for the life of the process.
template <typename State>
BIO_METHOD* sourceSinkMethod(const char* name, ReadFunction read, WriteFunction write)
{
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, name);
    BIO_meth_set_read_ex(made, read);
    if (write)
        BIO_meth_set_write_ex(made, write);
    BIO_meth_set_ctrl(made, plainControl);
    BIO_meth_set_destroy(made, destroyState<State>);
    return made;
}

int deviceRead(BIO* bio, char* data, size_t length, size_t* read)
{
    auto* state = static_cast<DeviceState*>(BIO_get_data(bio));
    const qint64 got = state->device->read(data, qint64(length));
    if (got < 0) {
        state->failed = true;
        return 0;
    }
    state->moved += got;
    if (state->limit >= 0 && state->moved > state->limit) {
        state->failed = true;
        return 0;
    }
    *read = size_t(got);
    return got > 0 ? 1 : 0;
}

int deviceWrite(BIO* bio, const char* data, size_t length, size_t* written)
{
    auto* state = static_cast<DeviceState*>(BIO_get_data(bio));
    size_t done = 0;
    while (done < length) {
        const qint64 step = state->device->write(data + done, qint64(length - done));
        if (step <= 0) {
            state->failed = true;
            return 0;
        }
        done += size_t(step);
    }
    state->moved += qint64(done);
    *written = done;
    return 1;
}

const BIO_METHOD* deviceMethod()
{
    static BIO_METHOD* method = sourceSinkMethod<DeviceState>("vorn device", deviceRead, deviceWrite);
    return method;
}

int rangesRead(BIO* bio, char* data, size_t length, size_t* read)
{
    auto* state = static_cast<RangesState*>(BIO_get_data(bio));
    while (state->range < state->ranges.size()) {
        const auto [offset, size] = state->ranges.at(state->range);
        if (state->done >= size) {
            ++state->range;
            state->done = 0;
            continue;
        }
        const qint64 wanted = std::min<qint64>(qint64(length), size - state->done);
        const qint64 got = state->file->read(offset + state->done, data, wanted);
        if (got <= 0) {
            // A range past the end is as wrong as a failed read.
            state->failed = true;
            return 0;
        }
        state->done += got;
        *read = size_t(got);
        return 1;
    }
    return 0;
}

const BIO_METHOD* rangesMethod()
{
    static BIO_METHOD* method = sourceSinkMethod<RangesState>("vorn ranges", rangesRead, nullptr);
    return method;
}

template <typename State>
BioPtr bioWithState(const BIO_METHOD* method, State* state)
{
    BioPtr bio(BIO_new(method));
    if (!bio) {
        delete state;
        return bio;
    }
    BIO_set_data(bio.get(), state);
    BIO_set_init(bio.get(), 1);
    return bio;
}

} // namespace

qint64 SplicedFile::read(qint64 offset, char* data, qint64 length) const
{
    if (offset < 0 || length < 0)
        return -1;
    qint64 done = 0;
    if (offset < m_sourceSize) {
        const qint64 wanted = std::min(length, m_sourceSize - offset);
        if (m_source->pos() != offset && !m_source->seek(offset))
            return -1;
        while (done < wanted) {
            const qint64 got = m_source->read(data + done, wanted - done);
            if (got <= 0)
                return -1;  // the source is shorter than it was
            done += got;
        }
    }
    const qint64 tailAt = std::max<qint64>(0, offset + done - m_sourceSize);
    const qint64 fromTail = std::min(length - done, qint64(m_tail.size()) - tailAt);
    if (fromTail > 0) {
        std::copy_n(m_tail.constData() + tailAt, fromTail, data + done);
        done += fromTail;
    }
    return done;
}

BioPtr deviceBio(QIODevice* device, qint64 limit)
{
    return bioWithState(deviceMethod(), new DeviceState{device, limit});
}

qint64 deviceBioBytes(BIO* bio)
{
    return static_cast<DeviceState*>(BIO_get_data(bio))->moved;
}

bool deviceBioFailed(BIO* bio)
{
    return static_cast<DeviceState*>(BIO_get_data(bio))->failed;
}

BioPtr rangesBio(const SplicedFile* file, const QList<QPair<qint64, qint64>>& ranges)
{
    return bioWithState(rangesMethod(), new RangesState{file, ranges});
}

bool rangesBioFailed(BIO* bio)
{
    return static_cast<RangesState*>(BIO_get_data(bio))->failed;
}
