#include "rtl/FileStream.h"

namespace {

TFile::TOpen OpenModeOf(TFileStream::TMode mode)
{
    switch (mode) {
        case TFileStream::TMode::OpenRead:
            return TFile::TOpen::ReadShared;
        case TFileStream::TMode::Create:
            return TFile::TOpen::CreateExclusive;
    }
    return TFile::TOpen::ReadShared;
}

}  // namespace

TFileStream::TFileStream(const std::u16string& path, TMode mode) : FFile(path, OpenModeOf(mode)) {}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    return FFile.Read(buffer, count);
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    return FFile.Write(buffer, count);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    return FFile.Seek(offset, origin);
}

void TFileStream::SetSize(std::int64_t newSize)
{
    FFile.SetSize(newSize);
}

void TFileStream::Flush()
{
    FFile.Flush();
}
