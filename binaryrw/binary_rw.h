// The BinaryRW class: byte buffers, one open file with typed reads and writes, the
// form-data decoder it owns, and file-system utilities.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/values.h"
#include "formdata/decoder.h"
#include "platform/file_stream.h"

namespace kelv {

class TBinaryRWImpl {
 public:
  TBinaryRWImpl();
  ~TBinaryRWImpl();
  TBinaryRWImpl(const TBinaryRWImpl&) = delete;
  TBinaryRWImpl& operator=(const TBinaryRWImpl&) = delete;

  // Byte buffers. Each is a function of its arguments and, where text becomes bytes or
  // bytes text, of the object's code page.
  Bytes StrToBuffer(const std::string& string, int32_t AddZeroByte) const;
  std::string BufferToStr(const VarIn& buffer) const;
  static int32_t IsBuffer(const VarIn& v);
  static VarOut JoinBuffer(const VarIn& buffer1, const VarIn& buffer2);

  // The open file.
  int32_t FOpen(const std::string& FileName, const std::string& Type);
  int32_t FOpenRead(const std::string& FileName);
  int32_t FOpenWrite(const std::string& FileName);
  int32_t FOpenAppend(const std::string& FileName);
  void FClose();
  VarOut FRead(int32_t Size);
  int32_t FReaded() const { return m_last_read_count; }
  int32_t FEof() const;
  int32_t FSeek(int32_t offset, int32_t from);
  int32_t FTell() const;
  int32_t FWrite(const VarIn& data);
  VarOut FReadInt(int32_t Size);
  VarOut FReadFloat(int32_t Size);
  int32_t FWriteInt(int64_t data, int32_t Size);
  int32_t FWriteFloat(double data, int32_t Size);
  std::string FReadStr(int32_t MaxSize);
  int32_t FWriteStr(const std::string& string);
  VarOut FReadStrBin(int32_t Size);
  int32_t FWriteStrBin(const VarIn& string, int32_t Size, uint8_t fillchar);
  static int32_t FileSize(const std::string& FileName);
  static VarOut FileSize64(const std::string& FileName);

  // File-system utilities.
  static int32_t FExists(const std::string& FileName);
  static int32_t DirExists(const std::string& dirname);
  static std::string ExtractFileName(const std::string& FileName, int32_t mode);
  static std::string ExtractFileExt(const std::string& FileName, int32_t mode);
  static std::string ExtractFileNameOnly(const std::string& FileName, int32_t mode);
  // The name under which a client's file (an upload's file name) can be stored: the last
  // component, without invisible direction and zero-width characters, with control
  // characters and < > : " | ? * as "_", without leading and trailing dots and spaces,
  // "_" before a device name, cut to 255 UTF-16 units and 255 UTF-8 bytes before its
  // extension; "_" when nothing is left. Any other character stays.
  static std::string SafeFileName(const std::string& FileName);
  static int32_t FileCopy(const std::string& src, const std::string& dest, int32_t what);
  static int32_t FileDelete(const std::string& FileName);
  static int32_t FileMove(const std::string& src, const std::string& dest);
  static int32_t DirMake(const std::string& dirname);
  static int32_t DirDelete(const std::string& EmptyDirName);
  static std::string CreateTMPFile(const std::string& dir);
  static int32_t OldFilesDelete(int32_t seconds, const std::string& dir_mask);

  // The form-data decoder and the queries on its results.
  int32_t FD_Init(const std::string& dir, const std::string& FileName, const std::string& endline);
  int32_t FD_Decode(const VarIn& data);
  int32_t FD_EndDecode();
  int32_t FD_GetFilesCount() const;
  std::string FD_GetFileName(int32_t fileindex) const;
  std::string FD_GetFileHeaderName(int32_t fileindex) const;
  std::string FD_GetFileContentType(int32_t fileindex) const;
  std::string FD_GetFileFormName(int32_t fileindex) const;
  int32_t FD_GetFileHeadersCount(int32_t fileindex) const;
  std::string FD_GetFileHeader(int32_t fileindex, int32_t index) const;
  int32_t FD_GetItemsCount() const;
  std::string FD_GetItemName(int32_t index) const;
  std::string FD_GetItemValue(int32_t index) const;
  void FD_FreeData();
  int32_t FD_DeleteTMPFiles();

  // The code page of texts made from bytes and into bytes: 0, the system ANSI code page,
  // until a page the system has is put.
  int32_t get_CodePage() const { return static_cast<int32_t>(m_code_page); }
  void put_CodePage(int32_t value);

  // The limits of the uploads this object decodes (0: none; a value below 0 is taken as
  // 0). They hold for the decoder there is and every later FD_Init; an upload that
  // passes one stops, and FD_EndDecode gives 13.
  int64_t get_FD_MaxFileSize() const { return m_limits.max_file_size; }
  void put_FD_MaxFileSize(int64_t value);
  int32_t get_FD_MaxFiles() const { return m_limits.max_files; }
  void put_FD_MaxFiles(int32_t value);
  int32_t get_FD_MaxFieldSize() const { return m_limits.max_field_size; }
  void put_FD_MaxFieldSize(int32_t value);
  int32_t get_FD_MaxFields() const { return m_limits.max_fields; }
  void put_FD_MaxFields(int32_t value);

 private:
  int32_t open_with(const std::string& name, const std::string& mode);
  // Text as bytes in the object's code page, and bytes as text.
  std::string to_bytes(std::string_view text) const;
  std::string to_text(std::string_view bytes) const;
  // Reads up to `size` bytes at the current position; sets m_last_read_count.
  Bytes read_up_to(int32_t size);
  bool read_exact(uint8_t* buf, size_t n);
  void limits_changed();

  std::unique_ptr<FileStream> m_file;
  int32_t m_last_read_count = 0;
  std::unique_ptr<TFD_Object> m_form_data;
  uint32_t m_code_page = 0;
  TFD_Limits m_limits;
};

}  // namespace kelv
