#include "toolkit/TJPEGImage.h"

#include "core/Exception.h"

#include <QtEndian>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// Everything libjpeg needs for one decode. libjpeg reports errors through
// error_exit, which must not return: ours jumps back to the setjmp of the step
// that was running. Only trivially destructible objects live in the frames a
// jump leaves, and warnings (a truncated file, stray bytes) count as errors.
struct TDecodeState {
    jpeg_decompress_struct Info;
    jpeg_error_mgr Errors;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

TDecodeState& StateOf(j_common_ptr info) {
    return *reinterpret_cast<TDecodeState*>(info->client_data);
}

[[noreturn]] void ErrorExit(j_common_ptr info) {
    TDecodeState& state = StateOf(info);
    info->err->format_message(info, state.Message);
    std::longjmp(state.Jump, 1);
}

void EmitMessage(j_common_ptr info, int level) {
    if (level < 0)
        ErrorExit(info);
}

bool ReadHeader(TDecodeState& state, const unsigned char* bytes, unsigned long size) {
    if (setjmp(state.Jump))
        return false;
    jpeg_create_decompress(&state.Info);
    state.Info.client_data = &state;
    jpeg_mem_src(&state.Info, bytes, size);
    jpeg_read_header(&state.Info, TRUE);
    return true;
}

bool ReadPixels(TDecodeState& state, uchar* bits, qsizetype bytesPerLine) {
    if (setjmp(state.Jump))
        return false;
    state.Info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&state.Info);
    while (state.Info.output_scanline < state.Info.output_height) {
        JSAMPROW row = bits + bytesPerLine * state.Info.output_scanline;
        jpeg_read_scanlines(&state.Info, &row, 1);
    }
    jpeg_finish_decompress(&state.Info);
    return true;
}

// Releases libjpeg's memory on every path; a jump may have left the decoder
// half-way, which jpeg_destroy_decompress allows.
class TDecoder {
public:
    TDecoder() {
        State.Info.err = jpeg_std_error(&State.Errors);
        State.Errors.error_exit = ErrorExit;
        State.Errors.emit_message = EmitMessage;
        State.Info.client_data = &State;
    }
    ~TDecoder() { jpeg_destroy_decompress(&State.Info); }
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    [[noreturn]] void Fail() const {
        throw EReadError(QStringLiteral("The JPEG picture data is damaged: %1")
                             .arg(QString::fromLocal8Bit(State.Message)));
    }

    TDecodeState State{};
};

}  // namespace

QImage TJPEGImage::DecodeFile(QByteArrayView jpeg) {
    if (jpeg.isEmpty())
        throw EReadError(QStringLiteral("The JPEG picture data is empty"));
    TDecoder decoder;
    TDecodeState& state = decoder.State;
    if (!ReadHeader(state, reinterpret_cast<const unsigned char*>(jpeg.data()),
                    static_cast<unsigned long>(jpeg.size())))
        decoder.Fail();
    const JDIMENSION width = state.Info.image_width, height = state.Info.image_height;
    if (width == 0 || height == 0 || width > JDIMENSION(MaxSide) || height > JDIMENSION(MaxSide) ||
        quint64(width) * height > quint64(MaxPixels))
        throw EReadError(
            QStringLiteral("The JPEG picture is too large (%1 x %2 pixels)").arg(width).arg(height));
    if (state.Info.jpeg_color_space != JCS_GRAYSCALE && state.Info.jpeg_color_space != JCS_YCbCr &&
        state.Info.jpeg_color_space != JCS_RGB)
        throw EReadError(QStringLiteral("The JPEG picture's colour space is not supported"));
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    if (image.isNull())
        throw EReadError(QStringLiteral("Not enough memory for the JPEG picture"));
    if (!ReadPixels(state, image.bits(), image.bytesPerLine()))
        decoder.Fail();
    return image;
}

QImage TJPEGImage::Decode(const QByteArray& data) {
    if (data.size() < 4)
        throw EReadError(QStringLiteral("The JPEG picture data is damaged: no byte count"));
    const quint32 size = qFromLittleEndian<quint32>(data.constData());
    if (size > static_cast<quint32>(data.size() - 4))
        throw EReadError(QStringLiteral("The JPEG picture data is damaged: %1 bytes announced, %2 present")
                             .arg(size)
                             .arg(data.size() - 4));
    return DecodeFile(QByteArrayView(data).sliced(4, size));
}
