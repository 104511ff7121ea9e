// zqxmlu_treectrl.h - the tree-view control that ZqXmlU_XmlToTree fills.
//
// Windows. The library is built without MFC: the CTreeCtrl it is given is this header's small
// class, whose one member is the window handle m_hWnd of a common-controls tree view. It inserts
// items with TVM_INSERTITEMA (8-bit text) and expands them with SendMessageA(TVM_EXPAND); both are
// plain window messages, so the window may belong to any framework.
//  * A host without MFC creates the tree-view window (WC_TREEVIEW) and passes
//    `CTreeCtrl view(window); ZqXmlU_XmlToTree(&doc, &view, ...)`.
//  * A host built with MFC does not include this header (MFC's own CTreeCtrl is then the type of
//    the parameter) and passes the address of its control's window handle, which is exactly the
//    object the library reads: `ZqXmlU_XmlToTree(&doc, reinterpret_cast<CTreeCtrl*>(&tree.m_hWnd),
//    ...)`. It must never pass the MFC object itself, whose layout the library does not know.
// The walk helpers (GetRootItem, GetChildItem, GetNextSiblingItem, GetItemText, IsExpanded, Print)
// read the window back with TVM_GETNEXTITEM / TVM_GETITEMA. Call everything on the window's thread.
//
// Elsewhere it is a small in-memory control of the same shape, entirely inline, so that it adds no
// export to the library:
//  * InsertItem(text, image, selectedImage, parent, insertAfter) adds an item and returns its
//    handle (NULL when the parent is not an item of this control or the heap is exhausted);
//    parent NULL or TVI_ROOT means the top level; insertAfter is TVI_LAST, TVI_FIRST, TVI_SORT
//    or a sibling handle (an unknown one appends).
//  * SendMessageA(control.m_hWnd, TVM_EXPAND, TVE_EXPAND / TVE_COLLAPSE / TVE_TOGGLE, item)
//    changes and records the item's expanded state; the window handle leads back to the control.
//  * GetRootItem / GetChildItem / GetNextSiblingItem / GetParentItem / GetItemText walk the tree;
//    Print() renders it as indented lines.
// Handles stay valid until DeleteAllItems or the control's end. The control is not thread-safe:
// one thread at a time, as a window's control would be.
#ifndef ZQXMLU_TREECTRL_H
#define ZQXMLU_TREECTRL_H

#if defined(_WIN32)

#include <windows.h>
// windows.h first: commctrl.h builds on it.
#include <commctrl.h>

#include <cstddef>
#include <string>

#include "zqxmlu.h"

class CTreeCtrl {
  public:
    CTreeCtrl() = default;
    explicit CTreeCtrl(HWND window) : m_hWnd(window) {}

    HTREEITEM InsertItem(const char* text, int image, int selectedImage,
                         HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST) {
        TVINSERTSTRUCTA insert{};
        insert.hParent = parent;
        insert.hInsertAfter = insertAfter;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.pszText = const_cast<char*>(text ? text : "");
        insert.item.iImage = image;
        insert.item.iSelectedImage = selectedImage;
        return reinterpret_cast<HTREEITEM>(
            ::SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    }

    HTREEITEM GetRootItem() const { return Next(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return Next(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return Next(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return Next(item, TVGN_PARENT); }
    std::string GetItemText(HTREEITEM item) const {
        char text[260] = {};
        TVITEMA query{};
        query.mask = TVIF_TEXT | TVIF_HANDLE;
        query.hItem = item;
        query.pszText = text;
        query.cchTextMax = static_cast<int>(sizeof text);
        if (!::SendMessageA(m_hWnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query))) return "";
        return query.pszText ? query.pszText : "";
    }
    bool IsExpanded(HTREEITEM item) const {
        const LRESULT state =
            ::SendMessageA(m_hWnd, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED);
        return (state & TVIS_EXPANDED) != 0;
    }
    UINT GetCount() const { return static_cast<UINT>(::SendMessageA(m_hWnd, TVM_GETCOUNT, 0, 0)); }

    // The tree as text: one line per item, `indent` spaces per level, in display order.
    std::string Print(size_t indent = 2) const {
        std::string out;
        size_t depth = 0;
        HTREEITEM item = GetRootItem();
        while (item) {
            out.append(depth * indent, ' ');
            out += GetItemText(item);
            out += '\n';
            if (HTREEITEM child = GetChildItem(item)) {
                item = child;
                ++depth;
                continue;
            }
            HTREEITEM next = GetNextSiblingItem(item);
            while (!next && depth > 0) {
                item = GetParentItem(item);
                --depth;
                next = GetNextSiblingItem(item);
            }
            item = next;
        }
        return out;
    }

    HWND m_hWnd = nullptr;  // the only member: what the library reads

  private:
    HTREEITEM Next(HTREEITEM item, WPARAM relation) const {
        return reinterpret_cast<HTREEITEM>(
            ::SendMessageA(m_hWnd, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
};

static_assert(sizeof(CTreeCtrl) == sizeof(HWND), "the library reads one window handle");

#else

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <new>
#include <string>

#include "zqxmlu.h"

typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef struct HWND__* HWND;

inline constexpr UINT TV_FIRST = 0x1100;
inline constexpr UINT TVM_EXPAND = TV_FIRST + 2;
inline constexpr UINT TVE_COLLAPSE = 0x0001;
inline constexpr UINT TVE_EXPAND = 0x0002;
inline constexpr UINT TVE_TOGGLE = 0x0003;

// The special handles: values no item can have.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(-static_cast<intptr_t>(0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(-static_cast<intptr_t>(0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(-static_cast<intptr_t>(0x0FFFE));
inline const HTREEITEM TVI_SORT = reinterpret_cast<HTREEITEM>(-static_cast<intptr_t>(0x0FFFD));

// One item of the control.
struct _TREEITEM {
    std::string text;
    int image = 0;
    int selectedImage = 0;
    const CTreeCtrl* owner = nullptr;
    _TREEITEM* parent = nullptr;  // the control's hidden root for top-level items
    _TREEITEM* firstChild = nullptr;
    _TREEITEM* lastChild = nullptr;
    _TREEITEM* prev = nullptr;
    _TREEITEM* next = nullptr;
    size_t childCount = 0;
    bool expanded = false;
    unsigned expandMessages = 0;  // TVE_EXPAND requests received
    size_t childrenAtExpand = 0;  // children in place at the last TVE_EXPAND
};

// The control's window: what its handle points to.
struct HWND__ {
    CTreeCtrl* control;
};

class CTreeCtrl {
  public:
    CTreeCtrl() : m_hWnd(&window_) {}
    CTreeCtrl(const CTreeCtrl&) = delete;
    CTreeCtrl& operator=(const CTreeCtrl&) = delete;

    HTREEITEM InsertItem(const char* text, int image, int selectedImage,
                         HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST) {
        _TREEITEM* under = Resolve(parent);
        if (!under) return nullptr;
        try {
            _TREEITEM& item = items_.emplace_back();
            item.text = text ? text : "";
            item.image = image;
            item.selectedImage = selectedImage;
            item.owner = this;
            Link(under, &item, insertAfter);
            return &item;
        } catch (const std::bad_alloc&) {
            if (!items_.empty() && !items_.back().owner) items_.pop_back();
            return nullptr;
        }
    }

    HTREEITEM GetRootItem() const { return root_.firstChild; }
    HTREEITEM GetChildItem(HTREEITEM item) const {
        return Valid(item) ? item->firstChild : nullptr;
    }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const {
        return Valid(item) ? item->next : nullptr;
    }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const {
        return Valid(item) ? item->prev : nullptr;
    }
    HTREEITEM GetParentItem(HTREEITEM item) const {
        return Valid(item) && item->parent != &root_ ? item->parent : nullptr;
    }
    std::string GetItemText(HTREEITEM item) const { return Valid(item) ? item->text : ""; }
    bool GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
        if (!Valid(item)) return false;
        image = item->image;
        selectedImage = item->selectedImage;
        return true;
    }
    bool ItemHasChildren(HTREEITEM item) const { return Valid(item) && item->firstChild; }
    bool IsExpanded(HTREEITEM item) const { return Valid(item) && item->expanded; }
    UINT GetCount() const { return static_cast<UINT>(items_.size()); }

    bool Expand(HTREEITEM item, UINT code) {
        return Message(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)) != 0;
    }

    bool DeleteAllItems() {
        items_.clear();
        root_.firstChild = root_.lastChild = nullptr;
        root_.childCount = 0;
        return true;
    }

    // The tree as text: one line per item, `indent` spaces per level, in display order.
    std::string Print(size_t indent = 2) const {
        std::string out;
        size_t depth = 0;
        const _TREEITEM* item = root_.firstChild;
        while (item) {
            out.append(depth * indent, ' ');
            out += item->text;
            out += '\n';
            if (item->firstChild) {
                item = item->firstChild;
                ++depth;
                continue;
            }
            while (item != &root_ && !item->next) {
                item = item->parent;
                --depth;
            }
            item = item == &root_ ? nullptr : item->next;
        }
        return out;
    }

    // The window messages this control understands (reached through SendMessageA).
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) {
        auto* item = reinterpret_cast<_TREEITEM*>(lParam);
        if (message != TVM_EXPAND || !Valid(item)) return 0;
        switch (wParam) {
            case TVE_EXPAND:
                item->expanded = true;
                ++item->expandMessages;
                item->childrenAtExpand = item->childCount;
                return 1;
            case TVE_COLLAPSE:
                item->expanded = false;
                return 1;
            case TVE_TOGGLE:
                item->expanded = !item->expanded;
                return 1;
            default:
                return 0;
        }
    }

  private:
    HWND__ window_{this};
    _TREEITEM root_;
    std::deque<_TREEITEM> items_;  // stable addresses; released without recursion

  public:
    HWND m_hWnd;  // after window_, which it points to

  private:
    bool Valid(const _TREEITEM* item) const {
        return item && item != TVI_ROOT && item != TVI_FIRST && item != TVI_LAST &&
               item != TVI_SORT && item->owner == this;
    }

    _TREEITEM* Resolve(HTREEITEM parent) {
        if (!parent || parent == TVI_ROOT) return &root_;
        return Valid(parent) ? parent : nullptr;
    }

    static void Link(_TREEITEM* parent, _TREEITEM* item, HTREEITEM after) {
        _TREEITEM* prev = parent->lastChild;  // TVI_LAST and unknown handles append
        if (after == TVI_FIRST) {
            prev = nullptr;
        } else if (after == TVI_SORT) {
            prev = nullptr;
            for (_TREEITEM* c = parent->firstChild; c && c->text <= item->text; c = c->next)
                prev = c;
        } else if (after != TVI_LAST) {
            for (_TREEITEM* c = parent->firstChild; c; c = c->next) {
                if (c == after) {
                    prev = c;
                    break;
                }
            }
        }
        item->parent = parent;
        item->prev = prev;
        item->next = prev ? prev->next : parent->firstChild;
        if (item->next) {
            item->next->prev = item;
        } else {
            parent->lastChild = item;
        }
        if (prev) {
            prev->next = item;
        } else {
            parent->firstChild = item;
        }
        ++parent->childCount;
    }
};

// Sends a message to the control whose window handle is given.
inline LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return window && window->control ? window->control->Message(message, wParam, lParam) : 0;
}

#endif  // _WIN32

#endif  // ZQXMLU_TREECTRL_H
