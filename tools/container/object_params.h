// The parameters of a page's object element, read the way a browser hands
// them to a control: the first <object> element of an HTML text and the
// name/value pairs of the <param> elements inside it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct ObjectParam {
  std::u16string name;
  std::u16string value;
  bool operator==(const ObjectParam&) const = default;
};

struct ObjectElement {
  bool found = false;
  std::u16string id;        // the element's id attribute
  std::u16string classId;   // its classid attribute ("clsid:...")
  std::vector<ObjectParam> params;  // in document order
};

// Tag and attribute names ignore case; values may be double-, single- or
// unquoted; character references (&amp; &lt; &gt; &quot; &apos; &#NN; &#xNN;)
// are decoded in values. A <param> without a name is skipped; one without a
// value has the empty value. Comments are skipped. Parameters end at
// </object> or at the end of the text.
ObjectElement ParseObjectElement(std::u16string_view html);

// The value under a name, compared ignoring case (as a browser's parameter
// bag does); the first one wins. Null when absent.
const std::u16string* FindParam(const std::vector<ObjectParam>& params, std::u16string_view name);

}  // namespace zv
