// PNG through the Windows Imaging Component: the picture is encoded into a
// stream in memory, whose bytes are returned for the caller to write.
#include <objbase.h>
#include <wincodec.h>

#include <cstring>
#include <limits>

#include "platform/picture/com_apartment.hpp"
#include "platform/picture/com_ptr.hpp"
#include "platform/picture/hresult_check.hpp"
#include "platform/picture/png_encoder.hpp"

namespace velscan::picture {
namespace {

// The codec's PNG encoder takes grey as it is and colour as BGR: the rows
// are handed over in that order.
std::vector<std::uint8_t> CodecRows(int channels, const std::vector<std::uint8_t>& pixels) {
    if (channels == 1) return pixels;
    std::vector<std::uint8_t> rows(pixels);
    for (std::size_t i = 0; i + 2 < rows.size(); i += 3) std::swap(rows[i], rows[i + 2]);
    return rows;
}

// Locks the memory behind the stream for as long as the object lives.
class LockedMemory {
public:
    explicit LockedMemory(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {
        if (data_ == nullptr) Check(HRESULT_FROM_WIN32(GetLastError()), "GlobalLock");
    }
    LockedMemory(const LockedMemory&) = delete;
    LockedMemory& operator=(const LockedMemory&) = delete;
    ~LockedMemory() { GlobalUnlock(memory_); }
    const std::uint8_t* Data() const { return static_cast<const std::uint8_t*>(data_); }

private:
    HGLOBAL memory_;
    void* data_;
};

std::vector<std::uint8_t> StreamBytes(IStream* stream) {
    STATSTG status{};
    Check(stream->Stat(&status, STATFLAG_NONAME), "IStream::Stat");
    HGLOBAL memory = nullptr;
    Check(GetHGlobalFromStream(stream, &memory), "GetHGlobalFromStream");
    if (status.cbSize.QuadPart > GlobalSize(memory))
        throw EncodeFailure("the encoded picture is larger than its stream's memory");
    const LockedMemory locked(memory);
    return {locked.Data(), locked.Data() + static_cast<std::size_t>(status.cbSize.QuadPart)};
}

}  // namespace

std::vector<std::uint8_t> EncodePng(int width, int height, int channels,
                                    const std::vector<std::uint8_t>& pixels) {
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3))
        throw EncodeFailure("the picture has no pixels or an unknown layout");
    const auto stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    const std::size_t size = stride * static_cast<std::size_t>(height);
    if (pixels.size() != size || size > std::numeric_limits<UINT>::max())
        throw EncodeFailure("the picture is too large for the encoder");

    const ComApartment apartment;
    ComPtr<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Put())),
          "creating the imaging factory");
    ComPtr<IStream> stream;
    Check(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), "CreateStreamOnHGlobal");
    ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put()),
          "creating the PNG encoder");
    Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "IWICBitmapEncoder::Initialize");

    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    Check(encoder->CreateNewFrame(frame.Put(), options.Put()), "IWICBitmapEncoder::CreateNewFrame");
    Check(frame->Initialize(options.Get()), "IWICBitmapFrameEncode::Initialize");
    Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)),
          "IWICBitmapFrameEncode::SetSize");
    const WICPixelFormatGUID wanted = channels == 1 ? GUID_WICPixelFormat8bppGray
                                                    : GUID_WICPixelFormat24bppBGR;
    WICPixelFormatGUID format = wanted;
    Check(frame->SetPixelFormat(&format), "IWICBitmapFrameEncode::SetPixelFormat");
    // The encoder may answer with a format of its choice; the bytes are only
    // right in the one asked for.
    if (!IsEqualGUID(format, wanted))
        throw EncodeFailure("the PNG encoder does not take 8-bit grey or RGB pixels");
    std::vector<std::uint8_t> rows = CodecRows(channels, pixels);
    Check(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(stride),
                             static_cast<UINT>(size), rows.data()),
          "IWICBitmapFrameEncode::WritePixels");
    Check(frame->Commit(), "IWICBitmapFrameEncode::Commit");
    Check(encoder->Commit(), "IWICBitmapEncoder::Commit");
    return StreamBytes(stream.Get());
}

}  // namespace velscan::picture
