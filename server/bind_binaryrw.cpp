#include "binaryrw/binary_rw.h"
#include "server/binding.h"

namespace kelv {
namespace {

using T = TBinaryRWImpl;
constexpr MemberKind M = MemberKind::Method;
constexpr MemberKind G = MemberKind::Get;
constexpr MemberKind P = MemberKind::Put;

const Binding<T> kBinaryRW[] = {
    {"FOpen", M, method<T, &T::FOpen>},
    {"FClose", M, method<T, &T::FClose>},
    {"FRead", M, method<T, &T::FRead>},
    {"FEof", M, method<T, &T::FEof>},
    {"FileSize64", M, method<T, &T::FileSize64>},
    {"FSeek", M, method<T, &T::FSeek>},
    {"FTell", M, method<T, &T::FTell>},
    {"FWrite", M, method<T, &T::FWrite>},
    {"FReadInt", M, method<T, &T::FReadInt>},
    {"FReadFloat", M, method<T, &T::FReadFloat>},
    {"FWriteInt", M, method<T, &T::FWriteInt>},
    {"FWriteFloat", M, method<T, &T::FWriteFloat>},
    {"FReadStr", M, method<T, &T::FReadStr>},
    {"FWriteStr", M, method<T, &T::FWriteStr>},
    {"FReaded", M, method<T, &T::FReaded>},
    {"FileSize", M, method<T, &T::FileSize>},
    {"FReadStrBin", M, method<T, &T::FReadStrBin>},
    {"FWriteStrBin", M, method<T, &T::FWriteStrBin>},
    {"StrToBuffer", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = VarOut::buffer(o.StrToBuffer(a.text(0), a.i4(1))); }},
    {"BufferToStr", M, method<T, &T::BufferToStr>},
    {"IsBuffer", M, method<T, &T::IsBuffer>},
    {"JoinBuffer", M, method<T, &T::JoinBuffer>},
    {"FD_Init", M, method<T, &T::FD_Init>},
    {"FD_Decode", M, method<T, &T::FD_Decode>},
    {"FD_EndDecode", M, method<T, &T::FD_EndDecode>},
    {"FD_GetFilesCount", M, method<T, &T::FD_GetFilesCount>},
    {"FD_GetFileName", M, method<T, &T::FD_GetFileName>},
    {"FD_GetFileHeaderName", M, method<T, &T::FD_GetFileHeaderName>},
    {"FD_GetFileContentType", M, method<T, &T::FD_GetFileContentType>},
    {"FD_GetFileFormName", M, method<T, &T::FD_GetFileFormName>},
    {"FD_GetFileHeadersCount", M, method<T, &T::FD_GetFileHeadersCount>},
    {"FD_GetFileHeader", M, method<T, &T::FD_GetFileHeader>},
    {"FD_GetItemsCount", M, method<T, &T::FD_GetItemsCount>},
    {"FD_GetItemName", M, method<T, &T::FD_GetItemName>},
    {"FD_GetItemValue", M, method<T, &T::FD_GetItemValue>},
    {"FD_FreeData", M, method<T, &T::FD_FreeData>},
    {"FD_DeleteTMPFiles", M, method<T, &T::FD_DeleteTMPFiles>},
    {"FExists", M, method<T, &T::FExists>},
    {"DirExists", M, method<T, &T::DirExists>},
    {"ExtractFileName", M, method<T, &T::ExtractFileName>},
    {"ExtractFileExt", M, method<T, &T::ExtractFileExt>},
    {"ExtractFileNameOnly", M, method<T, &T::ExtractFileNameOnly>},
    {"FileCopy", M, method<T, &T::FileCopy>},
    {"FileDelete", M, method<T, &T::FileDelete>},
    {"FileMove", M, method<T, &T::FileMove>},
    {"DirMake", M, method<T, &T::DirMake>},
    {"FOpenRead", M, method<T, &T::FOpenRead>},
    {"FOpenWrite", M, method<T, &T::FOpenWrite>},
    {"FOpenAppend", M, method<T, &T::FOpenAppend>},
    {"DirDelete", M, method<T, &T::DirDelete>},
    {"CreateTMPFile", M, method<T, &T::CreateTMPFile>},
    {"OldFilesDelete", M, method<T, &T::OldFilesDelete>},
    {"CodePage", G, method<T, &T::get_CodePage>},
    {"CodePage", P, method<T, &T::put_CodePage>},
    {"FD_MaxFileSize", G, method<T, &T::get_FD_MaxFileSize>},
    {"FD_MaxFileSize", P, method<T, &T::put_FD_MaxFileSize>},
    {"FD_MaxFiles", G, method<T, &T::get_FD_MaxFiles>},
    {"FD_MaxFiles", P, method<T, &T::put_FD_MaxFiles>},
    {"FD_MaxFieldSize", G, method<T, &T::get_FD_MaxFieldSize>},
    {"FD_MaxFieldSize", P, method<T, &T::put_FD_MaxFieldSize>},
    {"FD_MaxFields", G, method<T, &T::get_FD_MaxFields>},
    {"FD_MaxFields", P, method<T, &T::put_FD_MaxFields>},
    {"SafeFileName", M, method<T, &T::SafeFileName>},
};

}  // namespace

const std::vector<Thunk<TBinaryRWImpl>>& binaryrw_slots() {
  static const auto slots =
      bind_slots<T>(interface_table(InterfaceId::BinaryRW2), std::span<const Binding<T>>(kBinaryRW));
  return slots;
}

}  // namespace kelv
