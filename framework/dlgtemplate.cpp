#include "framework/dlgtemplate.h"

#include <objbase.h>

#include <cstring>

namespace {

// A reader over the template bytes that never reads past the end.
class Reader {
 public:
  Reader(const BYTE* p, size_t n) : m_p(p), m_n(n) {}
  bool ok() const { return m_ok; }
  size_t pos() const { return m_pos; }
  template <typename T>
  T get() {
    T v{};
    if (m_pos + sizeof(T) > m_n) {
      m_ok = false;
      return v;
    }
    std::memcpy(&v, m_p + m_pos, sizeof(T));
    m_pos += sizeof(T);
    return v;
  }
  std::wstring str() {
    std::wstring s;
    for (;;) {
      WORD c = get<WORD>();
      if (!m_ok || c == 0) return s;
      s.push_back(static_cast<wchar_t>(c));
    }
  }
  // sz_Or_Ord: 0, 0xFFFF + ordinal, or a string.
  void strOrOrd(WORD* ord, std::wstring* s) {
    *ord = 0;
    s->clear();
    if (m_pos + 2 > m_n) {
      m_ok = false;
      return;
    }
    WORD first;
    std::memcpy(&first, m_p + m_pos, 2);
    if (first == 0xFFFF) {
      m_pos += 2;
      *ord = get<WORD>();
    } else {
      *s = str();
    }
  }
  void align(size_t a) { m_pos = (m_pos + a - 1) & ~(a - 1); }
  void bytes(size_t n, std::vector<BYTE>* out) {
    if (m_pos + n > m_n) {
      m_ok = false;
      return;
    }
    out->assign(m_p + m_pos, m_p + m_pos + n);
    m_pos += n;
  }

 private:
  const BYTE* m_p;
  size_t m_n;
  size_t m_pos = 0;
  bool m_ok = true;
};

class Writer {
 public:
  std::vector<BYTE> out;
  template <typename T>
  void put(T v) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&v);
    out.insert(out.end(), b, b + sizeof(T));
  }
  void str(const std::wstring& s) {
    for (wchar_t c : s) put<WORD>(static_cast<WORD>(c));
    put<WORD>(0);
  }
  void strOrOrd(WORD ord, const std::wstring& s) {
    if (ord) {
      put<WORD>(0xFFFF);
      put<WORD>(ord);
    } else {
      str(s);
    }
  }
  void align(size_t a) {
    while (out.size() % a) out.push_back(0);
  }
};

}  // namespace

bool DialogItem::GetClsid(CLSID* pClsid) const {
  return IsOleControl() && SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(className.c_str()), pClsid));
}

bool DialogTemplate::Parse(const void* data, size_t size) {
  Reader r(static_cast<const BYTE*>(data), size);
  *this = DialogTemplate();
  WORD ver = r.get<WORD>();
  WORD sig = r.get<WORD>();
  extended = (ver == 1 && sig == 0xFFFF);
  WORD count;
  if (extended) {
    helpId = r.get<DWORD>();
    exStyle = r.get<DWORD>();
    style = r.get<DWORD>();
  } else {
    r = Reader(static_cast<const BYTE*>(data), size);
    style = r.get<DWORD>();
    exStyle = r.get<DWORD>();
  }
  count = r.get<WORD>();
  x = r.get<short>();
  y = r.get<short>();
  cx = r.get<short>();
  cy = r.get<short>();
  r.strOrOrd(&menuOrdinal, &menu);
  r.strOrOrd(&classOrdinal, &windowClass);
  title = r.str();
  if (style & (DS_SETFONT | DS_SHELLFONT)) {
    pointSize = r.get<WORD>();
    if (extended) {
      weight = r.get<WORD>();
      italic = r.get<BYTE>();
      charset = r.get<BYTE>();
    }
    typeface = r.str();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    r.align(4);
    DialogItem it;
    if (extended) {
      it.helpId = r.get<DWORD>();
      it.exStyle = r.get<DWORD>();
      it.style = r.get<DWORD>();
    } else {
      it.style = r.get<DWORD>();
      it.exStyle = r.get<DWORD>();
    }
    it.x = r.get<short>();
    it.y = r.get<short>();
    it.cx = r.get<short>();
    it.cy = r.get<short>();
    it.id = extended ? r.get<DWORD>() : r.get<WORD>();
    r.strOrOrd(&it.classAtom, &it.className);
    r.strOrOrd(&it.textOrdinal, &it.text);
    WORD extra = r.get<WORD>();
    if (extra) {
      // Classic templates count the size word itself; extended ones do not.
      size_t n = extended ? extra : (extra >= 2 ? extra - 2u : 0u);
      r.bytes(n, &it.creationData);
    }
    items.push_back(std::move(it));
  }
  return r.ok();
}

std::vector<BYTE> DialogTemplate::Build(bool bWithoutOleItems) const {
  Writer w;
  WORD count = 0;
  for (const DialogItem& it : items)
    if (!(bWithoutOleItems && it.IsOleControl())) ++count;
  if (extended) {
    w.put<WORD>(1);
    w.put<WORD>(0xFFFF);
    w.put<DWORD>(helpId);
    w.put<DWORD>(exStyle);
    w.put<DWORD>(style);
  } else {
    w.put<DWORD>(style);
    w.put<DWORD>(exStyle);
  }
  w.put<WORD>(count);
  w.put<short>(x);
  w.put<short>(y);
  w.put<short>(cx);
  w.put<short>(cy);
  w.strOrOrd(menuOrdinal, menu);
  w.strOrOrd(classOrdinal, windowClass);
  w.str(title);
  if (style & (DS_SETFONT | DS_SHELLFONT)) {
    w.put<WORD>(pointSize);
    if (extended) {
      w.put<WORD>(weight);
      w.put<BYTE>(italic);
      w.put<BYTE>(charset);
    }
    w.str(typeface);
  }
  for (const DialogItem& it : items) {
    if (bWithoutOleItems && it.IsOleControl()) continue;
    w.align(4);
    if (extended) {
      w.put<DWORD>(it.helpId);
      w.put<DWORD>(it.exStyle);
      w.put<DWORD>(it.style);
    } else {
      w.put<DWORD>(it.style);
      w.put<DWORD>(it.exStyle);
    }
    w.put<short>(it.x);
    w.put<short>(it.y);
    w.put<short>(it.cx);
    w.put<short>(it.cy);
    if (extended)
      w.put<DWORD>(it.id);
    else
      w.put<WORD>(static_cast<WORD>(it.id));
    w.strOrOrd(it.classAtom, it.className);
    w.strOrOrd(it.textOrdinal, it.text);
    if (it.creationData.empty()) {
      w.put<WORD>(0);
    } else {
      w.put<WORD>(static_cast<WORD>(it.creationData.size() + (extended ? 0 : 2)));
      w.out.insert(w.out.end(), it.creationData.begin(), it.creationData.end());
    }
  }
  w.align(4);
  return w.out;
}

bool DialogTemplate::Load(HINSTANCE hInst, UINT nId) {
  HRSRC hRes = FindResourceA(hInst, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  if (!hRes) return false;
  HGLOBAL hData = LoadResource(hInst, hRes);
  const void* p = hData ? LockResource(hData) : nullptr;
  if (!p || !Parse(p, SizeofResource(hInst, hRes))) return false;
  HRSRC hInit = FindResourceA(hInst, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(240) /* RT_DLGINIT */);
  if (hInit) {
    HGLOBAL hInitData = LoadResource(hInst, hInit);
    const BYTE* q = hInitData ? static_cast<const BYTE*>(LockResource(hInitData)) : nullptr;
    if (q) initData.assign(q, q + SizeofResource(hInst, hInit));
  }
  return true;
}

bool DialogTemplate::FindInitRecord(WORD ctrlId, WORD* pMsg, std::vector<BYTE>* pData) const {
  // Records of control id, message, 32-bit length and bytes, ended by a zero id.
  size_t pos = 0;
  while (pos + 8 <= initData.size()) {
    WORD id, msg;
    DWORD len;
    std::memcpy(&id, &initData[pos], 2);
    if (id == 0) break;
    std::memcpy(&msg, &initData[pos + 2], 2);
    std::memcpy(&len, &initData[pos + 4], 4);
    pos += 8;
    if (len > initData.size() - pos) return false;
    if (id == ctrlId) {
      *pMsg = msg;
      pData->assign(initData.begin() + static_cast<std::ptrdiff_t>(pos),
                    initData.begin() + static_cast<std::ptrdiff_t>(pos + len));
      return true;
    }
    pos += len;
  }
  return false;
}
