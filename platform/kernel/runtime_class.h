// CObject, the root of the framework's classes, and run-time class records: enough to create
// an object of a class named by its record, which is how worker threads are started.
#pragma once

#include "platform/kernel/types.h"

class CObject;

struct CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;

  CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

class CObject {
 public:
  static const CRuntimeClass classCObject;
  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
};

inline const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNCREATE(class_name)           \
 public:                                        \
  static const CRuntimeClass class##class_name; \
  static CObject* CreateObject();               \
  const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                                          \
  CObject* class_name::CreateObject() { return new class_name; }                                                  \
  const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), 0xFFFF,                   \
                                                       class_name::CreateObject, RUNTIME_CLASS(base_class_name)}; \
  const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }
