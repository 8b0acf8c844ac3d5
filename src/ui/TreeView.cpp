#include "ui/TreeView.h"

#include <stdexcept>
#include <utility>

namespace zd {

TreeNode::TreeNode(TreeView& owner, TreeNode* parent, std::string key, std::string text,
                   std::string image)
    : m_owner(owner),
      m_parent(parent),
      m_key(std::move(key)),
      m_text(std::move(text)),
      m_image(std::move(image)) {}

void TreeNode::SetText(const std::string& text) {
    if (text != m_text) {
        m_text = text;
        m_owner.NodeChanged();
    }
}

void TreeNode::SetImage(const std::string& image) {
    if (image != m_image) {
        m_image = image;
        m_owner.NodeChanged();
    }
}

void TreeNode::SetTag(std::any tag) {
    m_tag = std::move(tag);
}

void TreeNode::SetExpanded(bool expanded) {
    if (expanded != m_expanded) {
        m_expanded = expanded;
        m_owner.NodeChanged();
    }
}

bool TreeNode::Selected() const {
    return m_owner.SelectedNode() == this;
}

TreeView::TreeView(std::string name) : Control(std::move(name)) {}

TreeView::~TreeView() = default;

TreeNode& TreeView::Add(const std::optional<std::string>& relativeKey, const std::string& key,
                        const std::string& text, const std::string& image) {
    if (Node(key)) {
        throw std::invalid_argument(Name() + ": key \"" + key + "\" is not unique");
    }
    TreeNode* parent = nullptr;
    if (relativeKey) {
        parent = Node(*relativeKey);
        if (!parent) {
            throw std::invalid_argument(Name() + ": no node with key \"" + *relativeKey + "\"");
        }
    }
    m_nodes.push_back(std::unique_ptr<TreeNode>(new TreeNode(*this, parent, key, text, image)));
    TreeNode& node = *m_nodes.back();
    if (parent) {
        parent->m_children.push_back(&node);
    }
    RaiseChanged();
    return node;
}

void TreeView::Clear() {
    m_selected = nullptr;
    m_nodes.clear();
    RaiseChanged();
}

TreeNode* TreeView::Node(const std::string& key) const {
    for (const auto& node : m_nodes) {
        if (node->Key() == key) {
            return node.get();
        }
    }
    return nullptr;
}

std::vector<TreeNode*> TreeView::Nodes() const {
    std::vector<TreeNode*> nodes;
    nodes.reserve(m_nodes.size());
    for (const auto& node : m_nodes) {
        nodes.push_back(node.get());
    }
    return nodes;
}

std::vector<TreeNode*> TreeView::Roots() const {
    std::vector<TreeNode*> roots;
    for (const auto& node : m_nodes) {
        if (!node->Parent()) {
            roots.push_back(node.get());
        }
    }
    return roots;
}

bool TreeView::SelectNode(const std::string& key) {
    TreeNode* node = Node(key);
    if (!node) {
        return false;
    }
    Assign(m_selected, node);
    NodeClick.Raise(*node);
    return true;
}

}  // namespace zd
