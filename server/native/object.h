// One object template for all three classes. ObjectBase does everything that does not
// depend on the class (interface requests, counting, aggregation, type information, name
// lookup, argument coercion, the result convention and the guarded error path);
// NativeObject<Impl> only owns the class instance and runs its member thunks.
#pragma once

#include <new>

#include "server/native/dispatch.h"

namespace kelv::native {

class ObjectBase : public Dispatch {
 public:
  HResult QueryInterface(const Guid& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  HResult GetTypeInfoCount(uint32_t* count) override;
  HResult GetTypeInfo(uint32_t index, uint32_t lcid, TypeInfo** out) override;
  HResult GetIDsOfNames(const Guid& riid, const char16_t* const* names, uint32_t count, uint32_t lcid,
                        int32_t* dispids) override;
  HResult Invoke(int32_t dispid, const Guid& riid, uint32_t lcid, uint16_t flags, DispParams* params, Variant* result,
                 ExcepInfo* excep, uint32_t* arg_err) override;
  HResult call_slot(int slot, const CallArgs& args, CallResult& result) override;

  const ClassInfo& class_info() const { return m_class; }

 protected:
  ObjectBase(const ClassInfo& cls, Unknown* outer);
  virtual ~ObjectBase();
  // Runs the member at `index` (slot - kFirstSlot), catching what it raises.
  virtual CallOutcome run(size_t index, const CallArgs& args, CallResult& result, std::string& message) = 0;
  // Finishes creation: the interface request on the non-delegating side; on failure the
  // object is destroyed.
  static HResult finish_create(ObjectBase* obj, const Guid& iid, void** out);

 private:
  // The non-delegating unknown: it owns the count. Without an outer object it is also
  // the controlling unknown.
  class Inner final : public Unknown {
   public:
    explicit Inner(ObjectBase& owner) : m_owner(owner) {}
    HResult QueryInterface(const Guid& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;

   private:
    ObjectBase& m_owner;
  };

  Unknown& controlling() { return m_outer ? *m_outer : static_cast<Unknown&>(m_inner); }

  const ClassInfo& m_class;
  Inner m_inner;
  Unknown* m_outer;
  uint32_t m_refs = 0;  // objects are used from one apartment: a plain counter
};

template <class Impl>
class NativeObject final : public ObjectBase {
 public:
  static HResult create(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, Unknown* outer, const Guid& iid,
                        void** out) {
    if (!out) return hr::E_POINTER;
    *out = nullptr;
    if (outer && !(iid == kIidIUnknown)) return hr::CLASS_E_NOAGGREGATION;
    auto* obj = new (std::nothrow) NativeObject(cls, slots, outer);
    if (!obj) return hr::E_OUTOFMEMORY;
    return finish_create(obj, iid, out);
  }

  Impl& impl() { return m_impl; }

 private:
  NativeObject(const ClassInfo& cls, const std::vector<Thunk<Impl>>& slots, Unknown* outer)
      : ObjectBase(cls, outer), m_slots(slots) {}

  CallOutcome run(size_t index, const CallArgs& args, CallResult& result, std::string& message) override {
    return run_member(m_slots, m_impl, index, args, result, message);
  }

  const std::vector<Thunk<Impl>>& m_slots;
  Impl m_impl;
};

}  // namespace kelv::native
