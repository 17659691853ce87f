// CObject, the root of the framework's classes, and run-time class records: enough to create
// an object of a class named by its record, which is how worker threads are started.
#pragma once

class CObject {
 public:
  virtual ~CObject() = default;
};

struct CRuntimeClass {
  CObject* (*m_pfnCreateObject)();

  CObject* CreateObject() const { return m_pfnCreateObject(); }
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNCREATE(class_name)           \
 public:                                        \
  static const CRuntimeClass class##class_name; \
  static CObject* CreateObject();

// The base class is named as with MFC; nothing here walks from a class to its base.
#define IMPLEMENT_DYNCREATE(class_name, base_class_name)         \
  CObject* class_name::CreateObject() { return new class_name; } \
  const CRuntimeClass class_name::class##class_name = {class_name::CreateObject};
