// The BinaryRW members that reach the form-data decoder the object owns.
#include <algorithm>

#include "binaryrw/binary_rw.h"
#include "formdata/decoder.h"

namespace kelv {
namespace {

template <class T>
const T* at(const std::vector<T>& v, int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < v.size() ? &v[static_cast<size_t>(index)] : nullptr;
}

// A field of the decoder's file at `index`, as stored; empty without a decoder or such a
// file.
std::string file_field(const TFD_Object* fd, int32_t index, std::string TFD_FileInfo::*field) {
  const TFD_FileInfo* f = fd ? at(fd->files(), index) : nullptr;
  return f ? f->*field : std::string();
}

}  // namespace

int32_t TBinaryRWImpl::FD_Init(const std::string& dir, const std::string& FileName, const std::string& endline) {
  m_form_data.reset();
  // The line end is put between the bytes of a value's lines: bytes of the code page too.
  const bool none = endline == TFD_Object::kNoLineEnd;
  m_form_data = std::make_unique<TFD_Object>(dir, FileName, none ? endline : to_bytes(endline), m_limits);
  m_form_data->accept_extended_file_names(m_code_page != platform::kCodePageAnsi);
  return 1;
}

void TBinaryRWImpl::limits_changed() {
  if (m_form_data) m_form_data->set_limits(m_limits);
}

void TBinaryRWImpl::put_FD_MaxFileSize(int64_t value) {
  m_limits.max_file_size = std::max<int64_t>(value, 0);
  limits_changed();
}

void TBinaryRWImpl::put_FD_MaxFiles(int32_t value) {
  m_limits.max_files = std::max(value, 0);
  limits_changed();
}

void TBinaryRWImpl::put_FD_MaxFieldSize(int32_t value) {
  m_limits.max_field_size = std::max(value, 0);
  limits_changed();
}

void TBinaryRWImpl::put_FD_MaxFields(int32_t value) {
  m_limits.max_fields = std::max(value, 0);
  limits_changed();
}

int32_t TBinaryRWImpl::FD_Decode(const VarIn& data) {
  if (!m_form_data || !data.is_buffer()) return 0;
  return m_form_data->Decode(data.bytes);
}

// Without a decoder nothing was fed.
int32_t TBinaryRWImpl::FD_EndDecode() { return m_form_data ? m_form_data->EndDecode() : TFD_Object::kEndNothingFed; }

int32_t TBinaryRWImpl::FD_GetFilesCount() const {
  return m_form_data ? static_cast<int32_t>(m_form_data->files().size()) : 0;
}

// The output file's path is a name the component made: it goes back as it is.
std::string TBinaryRWImpl::FD_GetFileName(int32_t fileindex) const {
  return file_field(m_form_data.get(), fileindex, &TFD_FileInfo::FilePath);
}

// With a code page chosen, a file name the client gave in the extended form wins: it
// says its own charset.
std::string TBinaryRWImpl::FD_GetFileHeaderName(int32_t fileindex) const {
  const TFD_FileInfo* f = m_form_data ? at(m_form_data->files(), fileindex) : nullptr;
  if (f && f->ExtendedName && m_code_page != platform::kCodePageAnsi)
    return platform::bytes_to_text(f->ExtendedName->bytes, f->ExtendedName->code_page);
  return to_text(f ? f->HeaderName : std::string());
}

std::string TBinaryRWImpl::FD_GetFileContentType(int32_t fileindex) const {
  return to_text(file_field(m_form_data.get(), fileindex, &TFD_FileInfo::ContentType));
}

std::string TBinaryRWImpl::FD_GetFileFormName(int32_t fileindex) const {
  return to_text(file_field(m_form_data.get(), fileindex, &TFD_FileInfo::FormName));
}

int32_t TBinaryRWImpl::FD_GetFileHeadersCount(int32_t fileindex) const {
  const auto* list = m_form_data ? at(m_form_data->header_lists(), fileindex) : nullptr;
  return list ? static_cast<int32_t>(list->size()) : 0;
}

std::string TBinaryRWImpl::FD_GetFileHeader(int32_t fileindex, int32_t index) const {
  const auto* list = m_form_data ? at(m_form_data->header_lists(), fileindex) : nullptr;
  const std::string* line = list ? at(*list, index) : nullptr;
  return line ? to_text(*line) : std::string();
}

int32_t TBinaryRWImpl::FD_GetItemsCount() const {
  return m_form_data ? static_cast<int32_t>(m_form_data->item_names().size()) : 0;
}

std::string TBinaryRWImpl::FD_GetItemName(int32_t index) const {
  const std::string* s = m_form_data ? at(m_form_data->item_names(), index) : nullptr;
  return s ? to_text(*s) : std::string();
}

std::string TBinaryRWImpl::FD_GetItemValue(int32_t index) const {
  const std::string* s = m_form_data ? at(m_form_data->item_values(), index) : nullptr;
  return s ? to_text(*s) : std::string();
}

void TBinaryRWImpl::FD_FreeData() { m_form_data.reset(); }

int32_t TBinaryRWImpl::FD_DeleteTMPFiles() { return m_form_data ? m_form_data->DeleteFiles() : 0; }

}  // namespace kelv
