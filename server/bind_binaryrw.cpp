#include "binaryrw/binary_rw.h"
#include "server/binding.h"

namespace kelv {
namespace {

using T = TBinaryRWImpl;
constexpr MemberKind M = MemberKind::Method;

const Binding<T> kBinaryRW[] = {
    {"FOpen", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FOpen(a.text(0), a.text(1)); }},
    {"FClose", M, [](T& o, const CallArgs&, CallResult&) { o.FClose(); }},
    {"FRead", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FRead(a.i4(0)); }},
    {"FEof", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FEof(); }},
    {"FileSize64", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::FileSize64(a.text(0)); }},
    {"FSeek", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FSeek(a.i4(0), a.i4(1)); }},
    {"FTell", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FTell(); }},
    {"FWrite", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FWrite(a.var(0)); }},
    {"FReadInt", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FReadInt(a.i4(0)); }},
    {"FReadFloat", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FReadFloat(a.i4(0)); }},
    {"FWriteInt", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FWriteInt(a.i8(0), a.i4(1)); }},
    {"FWriteFloat", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FWriteFloat(a.r8(0), a.i4(1)); }},
    {"FReadStr", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FReadStr(a.i4(0)); }},
    {"FWriteStr", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FWriteStr(a.text(0)); }},
    {"FReaded", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FReaded(); }},
    {"FileSize", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::FileSize(a.text(0)); }},
    {"FReadStrBin", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FReadStrBin(a.i4(0)); }},
    {"FWriteStrBin", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FWriteStrBin(a.var(0), a.i4(1), a.ui1(2)); }},
    {"StrToBuffer", M,
     [](T&, const CallArgs& a, CallResult& r) { r.value = VarOut::buffer(T::StrToBuffer(a.text(0), a.i4(1))); }},
    {"BufferToStr", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::BufferToStr(a.var(0)); }},
    {"IsBuffer", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::IsBuffer(a.var(0)); }},
    {"JoinBuffer", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::JoinBuffer(a.var(0), a.var(1)); }},
    {"FD_Init", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_Init(a.text(0), a.text(1), a.text(2)); }},
    {"FD_Decode", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_Decode(a.var(0)); }},
    {"FD_EndDecode", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FD_EndDecode(); }},
    {"FD_GetFilesCount", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FD_GetFilesCount(); }},
    {"FD_GetFileName", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetFileName(a.i4(0)); }},
    {"FD_GetFileHeaderName", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetFileHeaderName(a.i4(0)); }},
    {"FD_GetFileContentType", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetFileContentType(a.i4(0)); }},
    {"FD_GetFileFormName", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetFileFormName(a.i4(0)); }},
    {"FD_GetFileHeadersCount", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetFileHeadersCount(a.i4(0)); }},
    {"FD_GetFileHeader", M,
     [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetFileHeader(a.i4(0), a.i4(1)); }},
    {"FD_GetItemsCount", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FD_GetItemsCount(); }},
    {"FD_GetItemName", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetItemName(a.i4(0)); }},
    {"FD_GetItemValue", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FD_GetItemValue(a.i4(0)); }},
    {"FD_FreeData", M, [](T& o, const CallArgs&, CallResult&) { o.FD_FreeData(); }},
    {"FD_DeleteTMPFiles", M, [](T& o, const CallArgs&, CallResult& r) { r.value = o.FD_DeleteTMPFiles(); }},
    {"FExists", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::FExists(a.text(0)); }},
    {"DirExists", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::DirExists(a.text(0)); }},
    {"ExtractFileName", M,
     [](T&, const CallArgs& a, CallResult& r) { r.value = T::ExtractFileName(a.text(0), a.i4(1)); }},
    {"ExtractFileExt", M,
     [](T&, const CallArgs& a, CallResult& r) { r.value = T::ExtractFileExt(a.text(0), a.i4(1)); }},
    {"ExtractFileNameOnly", M,
     [](T&, const CallArgs& a, CallResult& r) { r.value = T::ExtractFileNameOnly(a.text(0), a.i4(1)); }},
    {"FileCopy", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::FileCopy(a.text(0), a.text(1), a.i4(2)); }},
    {"FileDelete", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::FileDelete(a.text(0)); }},
    {"FileMove", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::FileMove(a.text(0), a.text(1)); }},
    {"DirMake", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::DirMake(a.text(0)); }},
    {"FOpenRead", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FOpenRead(a.text(0)); }},
    {"FOpenWrite", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FOpenWrite(a.text(0)); }},
    {"FOpenAppend", M, [](T& o, const CallArgs& a, CallResult& r) { r.value = o.FOpenAppend(a.text(0)); }},
    {"DirDelete", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::DirDelete(a.text(0)); }},
    {"CreateTMPFile", M, [](T&, const CallArgs& a, CallResult& r) { r.value = T::CreateTMPFile(a.text(0)); }},
    {"OldFilesDelete", M,
     [](T&, const CallArgs& a, CallResult& r) { r.value = T::OldFilesDelete(a.i4(0), a.text(1)); }},
};

}  // namespace

const std::vector<Thunk<TBinaryRWImpl>>& binaryrw_slots() {
  static const auto slots =
      bind_slots<T>(interface_table(InterfaceId::BinaryRW), std::span<const Binding<T>>(kBinaryRW));
  return slots;
}

}  // namespace kelv
