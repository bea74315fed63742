#include "platform/resource.h"

#include <limits>

namespace platform {
namespace {

char16_t AsciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
}

bool TextsMatch(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

// Built on first use, so registrations from other objects' static
// initialisers find it whatever order those run in.
ResourceModule& ProgramModule() {
    static ResourceModule module;
    return module;
}

}  // namespace

bool ResourceName::Matches(const ResourceName& other) const {
    if (isText_ != other.isText_) return false;
    return isText_ ? TextsMatch(text_, other.text_) : id_ == other.id_;
}

void ResourceModule::AddTable(std::span<const EmbeddedResource> table) {
    tables_.push_back(table);
}

const EmbeddedResource* ResourceModule::Find(const ResourceName& name,
                                             const ResourceName& type) const {
    for (const auto& table : tables_)
        for (const auto& resource : table)
            if (resource.type.Matches(type) && resource.name.Matches(name)) return &resource;
    return nullptr;
}

ResourceTableRegistration::ResourceTableRegistration(std::span<const EmbeddedResource> table) {
    ProgramModule().AddTable(table);
}

HMODULE GetModuleHandleW(const char16_t* moduleName) {
    return moduleName == nullptr ? &ProgramModule() : nullptr;
}

HRSRC FindResourceW(HMODULE module, ResourceName name, ResourceName type) {
    if (module == nullptr) module = &ProgramModule();
    return module->Find(name, type);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    return resource == nullptr ? nullptr : resource->begin;
}

const void* LockResource(HGLOBAL data) {
    return data;
}

uint32_t SizeofResource(HMODULE, HRSRC resource) {
    if (resource == nullptr || resource->begin == nullptr || resource->end < resource->begin)
        return 0;
    const auto size = static_cast<size_t>(resource->end - resource->begin);
    if (size > std::numeric_limits<uint32_t>::max()) return 0;
    return static_cast<uint32_t>(size);
}

}  // namespace platform
