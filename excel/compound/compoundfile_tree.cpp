// Directory tree, paths and the creation of entries.

#include "compound/compoundfile.h"
#include "compound/widetext.h"

#include <cwchar>
#include <string>

namespace CompoundDoc {

namespace {

bool SameName(const wchar_t* a, const wchar_t* b)
{
    for (int i = 0; i < 32; ++i) {
        if (a[i] != b[i])
            return false;
        if (a[i] == 0)
            return true;
    }
    return true;
}

wchar_t* CopyOf(const wchar_t* text, std::size_t n)
{
    wchar_t* out = new wchar_t[n + 1];
    for (std::size_t i = 0; i < n; ++i)
        out[i] = text[i];
    out[n] = 0;
    return out;
}

// Restores the current directory however a lookup ends.
class DirectoryGuard {
public:
    DirectoryGuard(std::vector<CompoundFile::PropertyTree*>& stack, CompoundFile::PropertyTree*& current)
        : stack_(stack), current_(current)
    {
        stack_.push_back(current_);
    }
    ~DirectoryGuard()
    {
        current_ = stack_.back();
        stack_.pop_back();
    }
    DirectoryGuard(const DirectoryGuard&) = delete;
    DirectoryGuard& operator=(const DirectoryGuard&) = delete;

private:
    std::vector<CompoundFile::PropertyTree*>& stack_;
    CompoundFile::PropertyTree*& current_;
};

} // namespace

CompoundFile::PropertyTree::PropertyTree() : parent(nullptr), entry(nullptr), index(0) {}

CompoundFile::PropertyTree::~PropertyTree()
{
    // Without recursion: a directory read from a file may nest very deeply.
    std::vector<PropertyTree*> pending;
    pending.swap(children);
    while (!pending.empty()) {
        PropertyTree* node = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), node->children.begin(), node->children.end());
        node->children.clear();
        delete node;
    }
}

void CompoundFile::SplitPath(const wchar_t* path, wchar_t*& parentPath, wchar_t*& name)
{
    const std::size_t n = path ? std::wcslen(path) : 0;
    std::size_t p = n;
    for (std::size_t i = n; i > 1; --i) {
        if (path[i - 1] == L'\\') {
            p = i - 1;
            break;
        }
    }
    if (p != n && p > 0) {
        parentPath = CopyOf(path, p);
        name = CopyOf(path + p + 1, n - p - 1);
        return;
    }
    if (n > 0 && path[0] == L'\\')
        name = CopyOf(path + 1, n - 1);
    else
        name = CopyOf(path ? path : L"", n);
}

int CompoundFile::ChangeDirectory(const wchar_t* path)
{
    if (!root)
        return NOT_OPEN;
    const std::wstring text = ToUtf16Units(path);
    previousDirectories.push_back(currentDirectory);
    int result = SUCCESS;
    if (text == L".") {
    } else if (text == L"..") {
        if (currentDirectory->parent)
            currentDirectory = currentDirectory->parent;
    } else if (text == L"\\") {
        currentDirectory = root;
    } else {
        std::size_t pos = 0;
        if (!text.empty() && text[0] == L'\\') {
            currentDirectory = root;
            pos = 1;
        }
        while (pos < text.size()) {
            std::size_t end = text.find(L'\\', pos);
            if (end == std::wstring::npos)
                end = text.size();
            const std::wstring component = text.substr(pos, end - pos);
            PropertyTree* next = component.size() < 32 ? FindProperty(currentDirectory, component.c_str()) : nullptr;
            // Streams hold no entries: entering one as a storage would give
            // a stream children, which readers of the format reject.
            if (!next || next->entry->type == 2) {
                result = DIRECTORY_NOT_FOUND;
                break;
            }
            currentDirectory = next;
            pos = end + 1; // a trailing backslash ends the loop
        }
        if (result != SUCCESS)
            currentDirectory = previousDirectories.back();
    }
    previousDirectories.pop_back();
    return result;
}

int CompoundFile::ChangeDirectory(const char* path)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return ChangeDirectory(wide.c_str());
}

CompoundFile::PropertyTree* CompoundFile::FindProperty(PropertyTree* node, const wchar_t* name)
{
    if (!node || node->entry->child == FREE)
        return nullptr;
    for (PropertyTree* child : node->children)
        if (SameName(child->entry->name, name))
            return child;
    return nullptr;
}

CompoundFile::PropertyTree* CompoundFile::FindProperty(const wchar_t* path)
{
    if (!root)
        return nullptr;
    DirectoryGuard guard(previousDirectories, currentDirectory);
    if (path && path[0] == L'\\')
        currentDirectory = root;
    wchar_t* parentPath = nullptr;
    wchar_t* name = nullptr;
    SplitPath(path, parentPath, name);
    PropertyTree* found = nullptr;
    if (!parentPath || ChangeDirectory(parentPath) == SUCCESS) {
        if (std::wcslen(name) < 32)
            found = FindProperty(currentDirectory, name);
    }
    delete[] parentPath;
    delete[] name;
    return found;
}

CompoundFile::PropertyTree* CompoundFile::FindProperty(unsigned int index)
{
    if (!root)
        return nullptr;
    std::vector<PropertyTree*> pending(1, root);
    while (!pending.empty()) {
        PropertyTree* node = pending.back();
        pending.pop_back();
        if (node->index == index)
            return node;
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.push_back(*it);
    }
    return nullptr;
}

void CompoundFile::StreamPaths(std::vector<std::wstring>& paths)
{
    paths.clear();
    if (!root)
        return;
    std::vector<std::pair<PropertyTree*, std::wstring>> pending(1, std::make_pair(root, std::wstring()));
    while (!pending.empty()) {
        PropertyTree* node = pending.back().first;
        const std::wstring prefix = pending.back().second;
        pending.pop_back();
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
            const std::wstring path = prefix + L"\\" + (*it)->entry->name;
            if ((*it)->entry->type == 2)
                paths.push_back(path);
            else
                pending.push_back(std::make_pair(*it, path));
        }
    }
}

int CompoundFile::FileSize(const wchar_t* path, unsigned int& size)
{
    if (!root)
        return NOT_OPEN;
    const std::wstring text = ToUtf16Units(path);
    if (text == L"\\") {
        size = dirEntries[0]->size;
        return SUCCESS;
    }
    PropertyTree* node = FindProperty(text.c_str());
    if (!node)
        return FILE_NOT_FOUND;
    size = node->entry->size;
    return SUCCESS;
}

int CompoundFile::FileSize(const char* path, unsigned int& size)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return FileSize(wide.c_str(), size);
}

int CompoundFile::MakeProperty(const wchar_t* path, DirectoryEntry* entry)
{
    if (path && path[0] == L'\\')
        currentDirectory = root;
    wchar_t* parentPath = nullptr;
    wchar_t* name = nullptr;
    SplitPath(path, parentPath, name);
    int result = SUCCESS;
    if (parentPath) {
        if (ChangeDirectory(parentPath) != SUCCESS) {
            result = MakeDirectoryUnsaved(parentPath);
            if (result == SUCCESS)
                result = ChangeDirectory(parentPath);
        }
    }
    const std::size_t length = std::wcslen(name);
    if (result == SUCCESS) {
        if (length >= 32)
            result = NAME_TOO_LONG;
        else if (length == 0)
            result = FILE_NOT_FOUND; // an empty name can be neither found nor made
    }
    if (result == SUCCESS) {
        for (std::size_t i = 0; i < 32; ++i)
            entry->name[i] = i < length ? name[i] : 0;
        entry->nameSize = static_cast<unsigned short>((length + 1) * 2);
        if (FindProperty(currentDirectory, name))
            result = DUPLICATE_NAME;
    }
    delete[] parentPath;
    delete[] name;
    if (result != SUCCESS)
        return result;

    const unsigned int count = static_cast<unsigned int>(dirEntries.size());
    unsigned int place = count;
    for (unsigned int i = 1; i < count; ++i) {
        if (*dirEntries[i] > *entry) {
            place = i;
            break;
        }
    }
    if (place < count)
        IncreasePropertyReferences(root, place);
    dirEntries.insert(dirEntries.begin() + place, entry);
    InsertPropertyTree(currentDirectory, entry, place);
    return SUCCESS;
}

int CompoundFile::MakeDirectoryUnsaved(const wchar_t* path)
{
    DirectoryGuard guard(previousDirectories, currentDirectory);
    DirectoryEntry* entry = new DirectoryEntry;
    entry->type = 1;
    const int result = MakeProperty(path, entry);
    if (result != SUCCESS)
        delete entry;
    return result;
}

int CompoundFile::MakeDirectory(const wchar_t* path)
{
    if (!root)
        return NOT_OPEN;
    if (!file.CanWrite())
        return IO_ERROR;
    const std::wstring text = ToUtf16Units(path);
    const int result = MakeDirectoryUnsaved(text.c_str());
    const int saved = SaveAll();
    return saved != SUCCESS ? saved : result;
}

int CompoundFile::MakeDirectory(const char* path)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return MakeDirectory(wide.c_str());
}

void CompoundFile::InsertPropertyTree(PropertyTree* parent, DirectoryEntry* entry, unsigned int index)
{
    // New entries carry no links; a loaded directory is built by
    // LoadProperties, which checks every stored link first.
    PropertyTree* node = new PropertyTree;
    node->parent = parent;
    node->entry = entry;
    node->index = index;
    auto it = parent->children.begin();
    while (it != parent->children.end() && (*it)->index <= index)
        ++it;
    parent->children.insert(it, node);
    UpdateChildrenIndices(parent);
}

void CompoundFile::UpdateChildrenIndices(PropertyTree* node)
{
    std::vector<PropertyTree*>& c = node->children;
    const std::size_t n = c.size();
    if (n == 0) {
        node->entry->child = FREE;
        return;
    }
    const std::size_t mid = n / 2;
    node->entry->child = c[mid]->index;
    // Children before the middle form a chain of left links down to the
    // first, those after it a chain of right links up to the last: a binary
    // search tree in the directory's name order.
    for (std::size_t i = 0; i < n; ++i) {
        DirectoryEntry* e = c[i]->entry;
        e->leftSibling = (i >= 1 && i <= mid) ? c[i - 1]->index : FREE;
        e->rightSibling = (i >= mid && i + 1 < n) ? c[i + 1]->index : FREE;
    }
}

void CompoundFile::IncreasePropertyReferences(PropertyTree* node, unsigned int i)
{
    std::vector<PropertyTree*> pending(1, node);
    while (!pending.empty()) {
        PropertyTree* n = pending.back();
        pending.pop_back();
        if (n->index >= i)
            ++n->index;
        DirectoryEntry* e = n->entry;
        unsigned int* links[3] = {&e->leftSibling, &e->rightSibling, &e->child};
        for (unsigned int* link : links)
            if (*link != FREE && *link >= i)
                ++*link;
        for (PropertyTree* child : n->children)
            pending.push_back(child);
    }
}

void CompoundFile::DecreasePropertyReferences(PropertyTree* node, unsigned int i)
{
    std::vector<PropertyTree*> pending(1, node);
    while (!pending.empty()) {
        PropertyTree* n = pending.back();
        pending.pop_back();
        if (n->index > i)
            --n->index;
        DirectoryEntry* e = n->entry;
        unsigned int* links[3] = {&e->leftSibling, &e->rightSibling, &e->child};
        for (unsigned int* link : links)
            if (*link != FREE && *link > i)
                --*link;
        for (PropertyTree* child : n->children)
            pending.push_back(child);
    }
}

void CompoundFile::DeletePropertyTree(PropertyTree* node)
{
    // Removes one entry without children; its stream blocks are not freed.
    if (!node || !node->parent || !node->children.empty())
        return;
    const unsigned int index = node->index;
    PropertyTree* parent = node->parent;
    DecreasePropertyReferences(root, index);
    delete dirEntries[index];
    dirEntries.erase(dirEntries.begin() + index);
    for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
        if (*it == node) {
            parent->children.erase(it);
            break;
        }
    }
    delete node;
    UpdateChildrenIndices(parent);
}

} // namespace CompoundDoc
