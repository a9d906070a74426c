// Plays random sequences of tree operations on a few handles and mirrors
// each on a small model of the tree: who is whose child, which attributes an
// element holds and who owns them, what each node is called and holds. The
// model predicts every call's outcome, the exception code included; after
// each step every tree a handle reaches is compared with the model node by
// node, by body identity. A sanitizer report, a leak, a wrong code or a tree
// that differs from the model is a finding, and the steps that led there are
// printed.
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <iterator>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace Velum;

namespace {

// ---------------------------------------------------------------------------
// The model
// ---------------------------------------------------------------------------

struct Model;
using ModelRef = std::shared_ptr<Model>;

// Bodies the model knows, to turn a node a call returns into its model node.
std::unordered_map<const NodeInst*, Model*> g_bodies;
// The steps of the input so far: operation and slots, printed with a finding
// (the reproducer libFuzzer writes replays the rest).
std::vector<std::array<int, 4>> g_steps;

[[noreturn]] void Finding(const std::string& what)
{
    fprintf(stderr, "steps (operation, slots):\n");
    for (const auto& step : g_steps)
        fprintf(stderr, "  %d: %d %d %d\n", step[0], step[1], step[2], step[3]);
    fprintf(stderr, "FINDING: %s\n", what.c_str());
    abort();
}

// One node as the tree should hold it. References mirror the tree's: slots,
// child lists and attribute maps hold counted references (shared_ptr),
// parent and owner are plain pointers, so a model node dies exactly when its
// body should.
struct Model : std::enable_shared_from_this<Model> {
    unsigned short type = 0;
    std::u16string name, value;
    Model* parent = nullptr;
    std::vector<ModelRef> children;
    std::vector<ModelRef> attributes;
    Model* owner = nullptr;  // attributes: the element that placed it
    Model* documentElement = nullptr;
    Model* doctype = nullptr;
    const NodeInst* body = nullptr;

    ~Model()
    {
        for (const ModelRef& child : children)
            child->parent = nullptr;
        for (const ModelRef& attr : attributes) {
            if (attr->owner == this)
                attr->owner = nullptr;
        }
        if (body != nullptr)
            g_bodies.erase(body);
    }
};

ModelRef NewModel(unsigned short type, const std::u16string& name, const std::u16string& value = u"")
{
    ModelRef model = std::make_shared<Model>();
    model->type = type;
    model->name = name;
    model->value = value;
    return model;
}

void Bind(Model* model, const NodeInst* body)
{
    if (body == nullptr)
        Finding("a node the model expects is missing");
    auto found = g_bodies.find(body);
    if (found != g_bodies.end() && found->second != model)
        Finding("a new node sits where a node the model still holds lives");
    model->body = body;
    g_bodies[body] = model;
}

// Binds a model built beside a new subtree (a clone) to its bodies.
void BindTree(Model* model, const NodeInst* body)
{
    Bind(model, body);
    if (model->children.size() != body->childCount())
        Finding("a new subtree has the wrong number of children");
    for (size_t i = 0; i < model->children.size(); ++i)
        BindTree(model->children[i].get(), body->m_children->item(static_cast<unsigned long>(i)));
    const NamedNodeMapInst* map = model->type == ELEMENT_NODE ? body->m_attributes : nullptr;
    if (model->attributes.size() != (map ? map->getLength() : 0))
        Finding("a new element has the wrong number of attributes");
    for (size_t i = 0; i < model->attributes.size(); ++i)
        Bind(model->attributes[i].get(), map->item(static_cast<unsigned long>(i)));
}

// The model node of a body a call returned; null for none.
ModelRef Known(const NodeInst* body)
{
    if (body == nullptr)
        return nullptr;
    auto found = g_bodies.find(body);
    if (found == g_bodies.end())
        Finding("a call returned a node the model does not know");
    return found->second->shared_from_this();
}

bool IsContainer(unsigned short type)
{
    return type == ELEMENT_NODE || type == DOCUMENT_NODE;
}

bool Accepts(unsigned short parent, unsigned short child)
{
    if (parent == ELEMENT_NODE)
        return child != ATTRIBUTE_NODE && child != PROCESSING_INSTRUCTION_NODE && child != DOCUMENT_NODE &&
               child != DOCUMENT_TYPE_NODE;
    return child != ATTRIBUTE_NODE && child != TEXT_NODE && child != CDATA_SECTION_NODE && child != DOCUMENT_NODE;
}

bool IsAncestorOrSelf(const Model* a, const Model* b)
{
    for (; b != nullptr; b = b->parent) {
        if (a == b)
            return true;
    }
    return false;
}

size_t IndexOf(const std::vector<ModelRef>& list, const Model* node)
{
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].get() == node)
            return i;
    }
    return list.size();
}

void NoteChild(Model* document, Model* child)
{
    if (child->type == DOCUMENT_TYPE_NODE && document->doctype == nullptr)
        document->doctype = child;
    else if (child->type == ELEMENT_NODE && document->documentElement == nullptr)
        document->documentElement = child;
}

void ForgetChild(Model* document, const Model* child)
{
    if (document->doctype == child)
        document->doctype = nullptr;
    if (document->documentElement == child)
        document->documentElement = nullptr;
}

void Detach(ModelRef child)  // a copy: erasing it from the list must not end it here
{
    Model* parent = child->parent;
    if (parent == nullptr)
        return;
    parent->children.erase(parent->children.begin() + IndexOf(parent->children, child.get()));
    child->parent = nullptr;
    if (parent->type == DOCUMENT_NODE)
        ForgetChild(parent, child.get());
}

// The code the checks of an insertion raise, or 0.
int InsertionCode(const ModelRef& parent, const ModelRef& child)
{
    if (!IsContainer(parent->type) || !child)
        return VelumException::HIERARCHY_REQUEST_ERR;
    if (!Accepts(parent->type, child->type) || IsAncestorOrSelf(child.get(), parent.get()))
        return VelumException::HIERARCHY_REQUEST_ERR;
    return 0;
}

ModelRef NamedItem(const Model* element, const std::u16string& name)
{
    for (const ModelRef& item : element->attributes) {
        if (item->name == name)
            return item;
    }
    return nullptr;
}

ModelRef CloneModel(const Model* source, bool deep)
{
    ModelRef copy = NewModel(source->type, source->name, source->value);
    for (const ModelRef& attr : source->attributes) {
        ModelRef attrCopy = CloneModel(attr.get(), false);
        if (attrCopy->type == ATTRIBUTE_NODE)
            attrCopy->owner = copy.get();
        copy->attributes.push_back(attrCopy);
    }
    if (deep) {
        for (const ModelRef& child : source->children) {
            ModelRef childCopy = CloneModel(child.get(), true);
            childCopy->parent = copy.get();
            copy->children.push_back(childCopy);
            if (copy->type == DOCUMENT_NODE)
                NoteChild(copy.get(), childCopy.get());
        }
    }
    return copy;
}

// ---------------------------------------------------------------------------
// Comparing the tree with the model
// ---------------------------------------------------------------------------

std::u16string Text(const VelumString& text)
{
    const Velum_CHAR* chars = text;
    return std::u16string(reinterpret_cast<const char16_t*>(chars), text.getLength());
}

const NodeInst* BodyOf(const Model* model)
{
    return model != nullptr ? model->body : nullptr;
}

void CheckNode(const Model* model, std::unordered_set<const Model*>& seen)
{
    if (!seen.insert(model).second)
        return;
    const NodeInst* body = model->body;
    if (g_bodies.count(body) == 0 || body->m_type != model->type)
        Finding("a node changed its kind or was lost");
    if (Text(body->m_name) != model->name || Text(body->m_value) != model->value)
        Finding("a node's name or value differs from the model");
    if (body->m_parent != BodyOf(model->parent))
        Finding("the parent of a node of kind " + std::to_string(model->type) + " differs from the model (" +
                (body->m_parent ? "has one" : "has none") + ", the model " + (model->parent ? "has one" : "none") + ")");
    if (body->childCount() != model->children.size())
        Finding("a node has the wrong number of children");
    for (size_t i = 0; i < model->children.size(); ++i) {
        if (body->m_children->item(static_cast<unsigned long>(i)) != model->children[i]->body)
            Finding("a child list differs from the model");
        CheckNode(model->children[i].get(), seen);
    }
    const NamedNodeMapInst* map = body->m_attributes;
    if ((map ? map->getLength() : 0) != model->attributes.size())
        Finding("an element has the wrong number of attributes");
    for (size_t i = 0; i < model->attributes.size(); ++i) {
        const Model* item = model->attributes[i].get();
        const VelumString name(reinterpret_cast<const Velum_CHAR*>(item->name.c_str()));
        if (map->item(static_cast<unsigned long>(i)) != item->body || map->getNamedItem(name) != item->body)
            Finding("an attribute map differs from the model (order or lookup by name)");
        CheckNode(item, seen);
    }
    if (model->type == ATTRIBUTE_NODE &&
        static_cast<const AttrInst*>(body)->m_ownerElement != BodyOf(model->owner))
        Finding("an attribute's owner differs from the model");
    if (model->type == DOCUMENT_NODE) {
        const DocumentInst* document = static_cast<const DocumentInst*>(body);
        if (document->m_documentElement != BodyOf(model->documentElement) ||
            document->m_doctype != BodyOf(model->doctype))
            Finding("a document's element or type differs from the model");
    }
}

// ---------------------------------------------------------------------------
// The steps
// ---------------------------------------------------------------------------

const char16_t* const kNames[] = {
    // 'B' and 'a' fall into one bucket (66 = 97 - 31), as do the other pairs,
    // so the chains are walked and unlinked in every position.
    u"a", u"B", u"b", u"C", u"c", u"D", u"d", u"E", u"e", u"F", u"f", u"G", u"aa", u"ab", u"x", u"y",
};
const char16_t* const kValues[] = {u"", u"1", u"v", u"a longer value than the others", u"&<>\"'", u"\u65e5"};

struct Slot {
    Node node;
    ModelRef model;
};

constexpr int kSlots = 6;

class Player {
public:
    explicit Player(FuzzedDataProvider& input) : m_in(input)
    {
        m_factory = createDocument(reinterpret_cast<const Velum_CHAR*>(u"1.0"),
                                   reinterpret_cast<const Velum_CHAR*>(u"f"), nullptr);
        // Slot 0 starts with a document of its own, so that the document's
        // bookkeeping of its element and type is played too; slot 1 with its
        // element, which holds attributes that no handle holds (as a parsed
        // settings file's elements do), two of them in one bucket. The first
        // input byte chooses whether that document is parsed (its tree then
        // lives in memory of its own, which a sweep frees only while nothing
        // outside holds a part of it, and the steps move nodes and strings
        // in and out of it) or built by calls. The second chooses whether
        // slots 2 and 3 start the same way with a second document, so that
        // nodes move between two parsed trees too.
        Start(0, m_in.ConsumeBool());
        if (m_in.ConsumeBool())
            Start(2, m_in.ConsumeBool());
    }

    void Start(int slot, bool parsed)
    {
        Document document = parsed ? ParsedStart() : BuiltStart();
        Element rootElement = document.getDocumentElement();
        ModelRef model = NewModel(DOCUMENT_NODE, u"#document");
        ModelRef root = NewModel(ELEMENT_NODE, u"root");
        root->parent = model.get();
        model->children.push_back(root);
        model->documentElement = root.get();
        for (const char16_t* name : {u"a", u"B", u"c", u"x"}) {
            ModelRef attr = NewModel(ATTRIBUTE_NODE, name, u"1");
            attr->owner = root.get();
            root->attributes.push_back(attr);
        }
        BindTree(model.get(), document.getNodeInst());
        m_slots[slot].node = Node(document.getNodeInst());
        m_slots[slot].model = model;
        m_slots[slot + 1].node = Node(rootElement.getNodeInst());
        m_slots[slot + 1].model = root;
    }

    static Document BuiltStart()
    {
        Document document = createDocument(reinterpret_cast<const Velum_CHAR*>(u"1.0"),
                                           reinterpret_cast<const Velum_CHAR*>(u"root"), nullptr);
        Element rootElement = document.getDocumentElement();
        for (const char16_t* name : {u"a", u"B", u"c", u"x"})
            rootElement.setAttribute(Chars(name), Chars(u"1"));
        return document;
    }

    static Document ParsedStart()
    {
        static fuzz::MemoryFile text("velum-treeops-start");
        static const char kStart[] = "<?xml version=\"1.0\"?><root a=\"1\" B=\"1\" c=\"1\" x=\"1\"/>";
        text.assign(reinterpret_cast<const uint8_t*>(kStart), sizeof kStart - 1);
        void* file = text.open(fuzz::OPEN_EXISTING_READ);
        Document document = parse(file);
        closeFile(file);
        if (!document) {
            fprintf(stderr, "the start document did not parse\n");
            abort();
        }
        return document;
    }

    void Run()
    {
        while (m_in.remaining_bytes() != 0) {
            Step();
            Check();
        }
        for (Slot& slot : m_slots) {
            slot.node = Node();
            slot.model.reset();
        }
        if (!g_bodies.empty())
            Finding("the model still holds nodes after every handle was dropped");
    }

private:
    int SlotIndex() { return m_in.ConsumeIntegralInRange<int>(0, kSlots - 1); }
    std::u16string Name() { return kNames[m_in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)]; }
    std::u16string Value() { return kValues[m_in.ConsumeIntegralInRange<size_t>(0, std::size(kValues) - 1)]; }
    static const Velum_CHAR* Chars(const std::u16string& text)
    {
        return reinterpret_cast<const Velum_CHAR*>(text.c_str());
    }

    // Runs call and compares the code it raises (0 for none) with expected.
    template <typename Call>
    bool Play(int expected, Call call)
    {
        int code = 0;
        try {
            call();
        } catch (const VelumException& e) {
            code = e.m_code;
        }
        if (code != expected)
            Finding("raised " + std::to_string(code) + ", the model expected " + std::to_string(expected));
        return code == 0;
    }

    // Puts a returned node into a slot and checks it is the one expected.
    void Keep(int at, const Node& node, const ModelRef& expected)
    {
        if (node.getNodeInst() != BodyOf(expected.get()))
            Finding("a call returned another node than the model expected");
        m_slots[at].node = node;
        m_slots[at].model = expected;
    }

    void Create(int at, unsigned short type)
    {
        const std::u16string name = Name(), value = Value();
        Node node;
        ModelRef model;
        switch (type) {
        case ELEMENT_NODE:
            node = m_factory.createElement(Chars(name));
            model = NewModel(type, name);
            break;
        case ATTRIBUTE_NODE:
            node = m_factory.createAttribute(Chars(name));
            node.setNodeValue(Chars(value));
            model = NewModel(type, name, value);
            break;
        case TEXT_NODE:
            node = m_factory.createTextNode(Chars(value));
            model = NewModel(type, u"#text", value);
            break;
        case CDATA_SECTION_NODE:
            node = m_factory.createCDATASection(Chars(value));
            model = NewModel(type, u"#cdata-section", value);
            break;
        case COMMENT_NODE:
            node = m_factory.createComment(Chars(value));
            model = NewModel(type, u"#comment", value);
            break;
        default:  // a processing instruction
            node = m_factory.createProcessingInstruction(Chars(name), Chars(value));
            model = NewModel(PROCESSING_INSTRUCTION_NODE, name, value);
            break;
        }
        m_slots[at].node = Node();
        m_slots[at].model.reset();
        Bind(model.get(), node.getNodeInst());
        m_slots[at].node = node;
        m_slots[at].model = model;
    }

    // The code inserting c into p raises, 0 when it goes ahead, or -1 when
    // it does nothing (no new child for an element or a document).
    static int InsertCode(const ModelRef& p, const ModelRef& c)
    {
        if (!p)
            return VelumException::EMPTY_HANDLE_ERR;
        if (IsContainer(p->type) && !c)
            return -1;
        return InsertionCode(p, c);
    }

    // c leaves its parent and goes into p before `before`, or at the end.
    static void Place(Model* p, const ModelRef& c, const Model* before)
    {
        Detach(c);
        p->children.insert(before ? p->children.begin() + IndexOf(p->children, before) : p->children.end(), c);
        c->parent = p;
        if (p->type == DOCUMENT_NODE)
            NoteChild(p, c.get());
    }

    void Append(Slot& parent, Slot& child, int into)
    {
        const int expected = InsertCode(parent.model, child.model);
        Node result;
        Play(expected < 0 ? 0 : expected, [&] { result = parent.node.appendChild(child.node); });
        if (expected != 0)
            return;
        Place(parent.model.get(), child.model, nullptr);
        Keep(into, result, child.model);
    }

    // An empty reference appends.
    void InsertBefore(Slot& parent, Slot& child, Slot& reference, int into)
    {
        const ModelRef p = parent.model, c = child.model, r = reference.model;
        int expected = InsertCode(p, c);
        if (expected == 0 && r && r->parent != p.get())
            expected = VelumException::NOT_FOUND_ERR;
        Node result;
        Play(expected < 0 ? 0 : expected, [&] { result = parent.node.insertBefore(child.node, reference.node); });
        if (expected != 0)
            return;
        if (c != r)
            Place(p.get(), c, r.get());
        else if (p->type == DOCUMENT_NODE)
            NoteChild(p.get(), c.get());
        Keep(into, result, c);
    }

    void Replace(Slot& parent, Slot& child, Slot& old, int into)
    {
        const ModelRef p = parent.model, c = child.model, o = old.model;
        int expected = InsertCode(p, c);
        if (expected == 0 && (!o || o->parent != p.get()))
            expected = VelumException::NOT_FOUND_ERR;
        Node result;
        Play(expected < 0 ? 0 : expected, [&] { result = parent.node.replaceChild(child.node, old.node); });
        if (expected != 0)
            return;
        if (c != o) {
            Detach(c);
            p->children[IndexOf(p->children, o.get())] = c;
            c->parent = p.get();
            o->parent = nullptr;
            if (p->type == DOCUMENT_NODE) {
                ForgetChild(p.get(), o.get());
                NoteChild(p.get(), c.get());
            }
        }
        Keep(into, result, o);
    }

    void Remove(Slot& parent, Slot& old, int into)
    {
        const ModelRef p = parent.model, o = old.model;
        int expected = 0;
        if (!p)
            expected = VelumException::EMPTY_HANDLE_ERR;
        else if (!o || o->parent != p.get())
            expected = VelumException::NOT_FOUND_ERR;
        Node result;
        Play(expected, [&] { result = parent.node.removeChild(old.node); });
        if (expected != 0)
            return;
        Detach(o);
        Keep(into, result, o);
    }

    // 0 when slot holds an element, else the code an element operation
    // through a Node raises.
    static int ElementCode(const Slot& slot)
    {
        if (!slot.model)
            return VelumException::EMPTY_HANDLE_ERR;
        return slot.model->type == ELEMENT_NODE ? 0 : VelumException::WRONG_NODE_KIND_ERR;
    }

    // The entry of the map of element holding item is given to replacement
    // (or dropped when null); an attribute leaves its owner only when that
    // owner is this element.
    static void ReplaceItem(Model* element, ModelRef item, ModelRef replacement)
    {
        const size_t at = IndexOf(element->attributes, item.get());
        if (replacement)
            element->attributes[at] = replacement;
        else
            element->attributes.erase(element->attributes.begin() + at);
        if (item->owner == element && item != replacement)
            item->owner = nullptr;
    }

    void SetAttribute(Slot& element)
    {
        const std::u16string name = Name(), value = Value();
        const int expected = ElementCode(element);
        if (!Play(expected, [&] { element.node.setAttribute(Chars(name), Chars(value)); }))
            return;
        Model* e = element.model.get();
        ModelRef attr = NewModel(ATTRIBUTE_NODE, name, value);
        attr->owner = e;
        if (ModelRef old = NamedItem(e, name))
            ReplaceItem(e, old, attr);
        else
            e->attributes.push_back(attr);
        Bind(attr.get(), e->body->m_attributes->getNamedItem(Chars(name)));
    }

    void RemoveAttribute(Slot& element)
    {
        const std::u16string name = Name();
        if (!Play(ElementCode(element), [&] { element.node.removeAttribute(Chars(name)); }))
            return;
        if (ModelRef old = NamedItem(element.model.get(), name))
            ReplaceItem(element.model.get(), old, nullptr);
    }

    void SetAttributeNode(Slot& element, Slot& attr, int into)
    {
        const ModelRef a = attr.model;
        int expected = ElementCode(element);
        ModelRef old;
        if (expected == 0) {
            if (!a)
                expected = VelumException::EMPTY_HANDLE_ERR;
            else if (a->type != ATTRIBUTE_NODE)
                expected = VelumException::BAD_CAST_ERR;
            else if (a->owner != nullptr)
                expected = VelumException::INUSE_ATTRIBUTE_ERR;
            else if ((old = NamedItem(element.model.get(), a->name)) && old->type != ATTRIBUTE_NODE)
                expected = VelumException::BAD_CAST_ERR;
        }
        Node result;
        if (!Play(expected, [&] { result = Node(element.node.setAttributeNode(attr.node).getNodeInst()); }))
            return;
        Model* e = element.model.get();
        if (old)
            ReplaceItem(e, old, a);
        else
            e->attributes.push_back(a);
        a->owner = e;
        Keep(into, result, old);
    }

    void RemoveAttributeNode(Slot& element, Slot& attr, int into)
    {
        const ModelRef a = attr.model;
        int expected = ElementCode(element);
        if (expected == 0) {
            if (!a)
                expected = VelumException::NOT_FOUND_ERR;
            else if (a->type != ATTRIBUTE_NODE)
                expected = VelumException::BAD_CAST_ERR;
            else if (a->owner != element.model.get() || IndexOf(a->owner->attributes, a.get()) == a->owner->attributes.size())
                expected = VelumException::NOT_FOUND_ERR;
        }
        Node result;
        if (!Play(expected, [&] { result = Node(element.node.removeAttributeNode(attr.node).getNodeInst()); }))
            return;
        ReplaceItem(element.model.get(), a, nullptr);
        a->owner = nullptr;
        Keep(into, result, a);
    }

    void GetAttributeNode(Slot& element, int into)
    {
        const std::u16string name = Name();
        int expected = ElementCode(element);
        ModelRef item;
        if (expected == 0 && (item = NamedItem(element.model.get(), name)) && item->type != ATTRIBUTE_NODE)
            expected = VelumException::BAD_CAST_ERR;
        Node result;
        if (Play(expected, [&] { result = Node(element.node.getAttributeNode(Chars(name)).getNodeInst()); }))
            Keep(into, result, item);
    }

    void SetNamedItem(Slot& element, Slot& node, int into)
    {
        const ModelRef n = node.model;
        // An element or document in an attribute map would hold its holder:
        // a cycle of counted references, which no handle can break.
        if (n && IsContainer(n->type))
            return;
        int expected = ElementCode(element);
        if (expected == VelumException::WRONG_NODE_KIND_ERR)
            expected = VelumException::EMPTY_HANDLE_ERR;  // the map of a non-element is an empty handle
        ModelRef old;
        if (expected == 0 && n) {
            if (n->type == ATTRIBUTE_NODE && n->owner != nullptr)
                expected = VelumException::INUSE_ATTRIBUTE_ERR;
            else
                old = NamedItem(element.model.get(), n->name);
        }
        Node result;
        if (!Play(expected, [&] { result = element.node.getAttributes().setNamedItem(node.node); }) || !n)
            return;
        if (old)
            ReplaceItem(element.model.get(), old, n);
        else
            element.model->attributes.push_back(n);
        Keep(into, result, old);
    }

    void RemoveNamedItem(Slot& element, int into)
    {
        const std::u16string name = Name();
        int expected = ElementCode(element);
        if (expected == VelumException::WRONG_NODE_KIND_ERR)
            expected = VelumException::EMPTY_HANDLE_ERR;
        ModelRef old;
        if (expected == 0 && !(old = NamedItem(element.model.get(), name)))
            expected = VelumException::NOT_FOUND_ERR;
        Node result;
        if (!Play(expected, [&] { result = element.node.getAttributes().removeNamedItem(Chars(name)); }))
            return;
        ReplaceItem(element.model.get(), old, nullptr);
        Keep(into, result, old);
    }

    void Clone(Slot& source, bool deep, int into)
    {
        Node result;
        const int expected = source.model ? 0 : VelumException::EMPTY_HANDLE_ERR;
        if (!Play(expected, [&] { result = source.node.cloneNode(deep); }))
            return;
        ModelRef copy = CloneModel(source.model.get(), deep);
        BindTree(copy.get(), result.getNodeInst());
        m_slots[into].node = result;
        m_slots[into].model = copy;
    }

    void Normalize(Slot& element)
    {
        if (!Play(ElementCode(element), [&] { element.node.normalize(); }))
            return;
        std::vector<Model*> pending{element.model.get()};
        while (!pending.empty()) {
            Model* e = pending.back();
            pending.pop_back();
            for (size_t i = 0; i < e->children.size(); ++i) {
                Model* child = e->children[i].get();
                if (child->type == ELEMENT_NODE)
                    pending.push_back(child);
                if (child->type != TEXT_NODE)
                    continue;
                while (i + 1 < e->children.size() && e->children[i + 1]->type == TEXT_NODE) {
                    child->value += e->children[i + 1]->value;
                    Detach(e->children[i + 1]);
                }
            }
        }
    }

    void Navigate(Slot& from, int which, int into)
    {
        if (!from.model)
            return;
        const Model* m = from.model.get();
        Node result;
        ModelRef expected;
        const Model* parent = m->parent;
        const size_t at = parent != nullptr ? IndexOf(parent->children, m) : 0;
        switch (which) {
        case 0:
            result = from.node.getParentNode();
            expected = parent != nullptr ? Known(parent->body) : nullptr;
            break;
        case 1:
            result = from.node.getFirstChild();
            expected = m->children.empty() ? nullptr : m->children.front();
            break;
        case 2:
            result = from.node.getLastChild();
            expected = m->children.empty() ? nullptr : m->children.back();
            break;
        case 3:
            result = from.node.getNextSibling();
            expected = parent != nullptr && at + 1 < parent->children.size() ? parent->children[at + 1] : nullptr;
            break;
        case 4:
            result = from.node.getPreviousSibling();
            expected = parent != nullptr && at > 0 ? parent->children[at - 1] : nullptr;
            break;
        default: {
            if (m->type != ELEMENT_NODE || m->attributes.empty())
                return;
            const size_t i = m_in.ConsumeIntegralInRange<size_t>(0, m->attributes.size());
            result = from.node.getAttributes().item(static_cast<unsigned long>(i));
            expected = i < m->attributes.size() ? m->attributes[i] : nullptr;
            break;
        }
        }
        Keep(into, result, expected);
    }

    void SetDoctype(Slot& document)
    {
        const bool remove = m_in.ConsumeBool();
        const std::u16string name = remove ? u"" : Name();
        int expected = 0;
        if (!document.model)
            expected = VelumException::EMPTY_HANDLE_ERR;
        else if (document.model->type != DOCUMENT_NODE)
            expected = VelumException::WRONG_NODE_KIND_ERR;
        VelumString oldName;
        if (!Play(expected, [&] { oldName = document.node.setDoctype(Chars(name)); }))
            return;
        Model* d = document.model.get();
        const ModelRef old = d->doctype ? d->doctype->shared_from_this() : nullptr;
        if (Text(oldName) != (old ? old->name : u""))
            Finding("setDoctype returned another name than the model expected");
        if (remove) {
            if (old)
                Detach(old);
            return;
        }
        ModelRef doctype = NewModel(DOCUMENT_TYPE_NODE, name);
        if (old) {
            d->children[IndexOf(d->children, old.get())] = doctype;
            old->parent = nullptr;
            ForgetChild(d, old.get());
        } else if (d->documentElement != nullptr) {
            d->children.insert(d->children.begin() + IndexOf(d->children, d->documentElement), doctype);
        } else {
            d->children.push_back(doctype);
        }
        doctype->parent = d;
        d->doctype = doctype.get();
        Bind(doctype.get(), static_cast<const DocumentInst*>(d->body)->m_doctype);
    }

    void Step()
    {
        const int op = m_in.ConsumeIntegralInRange<int>(0, 20);
        const int a = SlotIndex(), b = SlotIndex(), c = SlotIndex();
        g_steps.push_back({op, a, b, c});
        switch (op) {
        case 0: Create(a, ELEMENT_NODE); break;
        case 1: Create(a, TEXT_NODE); break;
        case 2: Create(a, m_in.ConsumeBool() ? COMMENT_NODE : CDATA_SECTION_NODE); break;
        case 3: Create(a, PROCESSING_INSTRUCTION_NODE); break;
        case 20: Create(a, ATTRIBUTE_NODE); break;
        case 4: Append(m_slots[a], m_slots[b], c); break;
        case 5: InsertBefore(m_slots[a], m_slots[b], m_slots[c], SlotIndex()); break;
        case 6: Replace(m_slots[a], m_slots[b], m_slots[c], SlotIndex()); break;
        case 7: Remove(m_slots[a], m_slots[b], c); break;
        case 8: SetAttribute(m_slots[a]); break;
        case 9: RemoveAttribute(m_slots[a]); break;
        case 10: SetAttributeNode(m_slots[a], m_slots[b], c); break;
        case 11: RemoveAttributeNode(m_slots[a], m_slots[b], c); break;
        case 12: GetAttributeNode(m_slots[a], c); break;
        case 13: SetNamedItem(m_slots[a], m_slots[b], c); break;
        case 14: RemoveNamedItem(m_slots[a], c); break;
        case 15: Clone(m_slots[a], m_in.ConsumeBool(), c); break;
        case 16: Normalize(m_slots[a]); break;
        case 17:
            // Dropping a handle, or copying one: the body must live exactly
            // as long as something holds it.
            if (m_in.ConsumeBool()) {
                m_slots[a].node = Node();
                m_slots[a].model.reset();
            } else {
                m_slots[c] = m_slots[a];
            }
            break;
        case 18: Navigate(m_slots[a], m_in.ConsumeIntegralInRange<int>(0, 5), c); break;
        case 19: SetDoctype(m_slots[a]); break;
        }
    }

    // Every tree a slot reaches, from its top, against the model.
    void Check()
    {
        std::unordered_set<const Model*> seen;
        for (const Slot& slot : m_slots) {
            if (!slot.model) {
                if (slot.node)
                    Finding("a slot holds a node the model does not");
                continue;
            }
            if (slot.node.getNodeInst() != slot.model->body)
                Finding("a slot holds another node than the model");
            const Model* top = slot.model.get();
            while (top->parent != nullptr)
                top = top->parent;
            CheckNode(top, seen);
        }
    }

    FuzzedDataProvider& m_in;
    Document m_factory;
    Slot m_slots[kSlots];
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitializeVelum();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    g_steps.clear();
    Player(input).Run();
    return 0;
}
