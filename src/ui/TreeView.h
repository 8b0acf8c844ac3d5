// The tree view model: nodes with key, text, image key, tag, parent, children and expansion, the
// selected node, and NodeClick, which selecting a node raises whether the user or the code selects
// it.
#pragma once

#include <any>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace zd {

class TreeView;

class TreeNode {
  public:
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    const std::string& Key() const { return m_key; }

    const std::string& Text() const { return m_text; }
    void SetText(const std::string& text);
    // The key of the node's picture in the image list bound to the tree.
    const std::string& Image() const { return m_image; }
    void SetImage(const std::string& image);

    const std::any& Tag() const { return m_tag; }
    void SetTag(std::any tag);

    bool Expanded() const { return m_expanded; }
    void SetExpanded(bool expanded);

    // Null for a root node.
    TreeNode* Parent() const { return m_parent; }
    const std::vector<TreeNode*>& Children() const { return m_children; }

    bool Selected() const;

  private:
    friend class TreeView;
    TreeNode(TreeView& owner, TreeNode* parent, std::string key, std::string text,
             std::string image);

    TreeView& m_owner;
    TreeNode* m_parent;
    std::string m_key;
    std::string m_text;
    std::string m_image;
    std::any m_tag;
    bool m_expanded = false;
    std::vector<TreeNode*> m_children;
};

class TreeView : public Control {
  public:
    explicit TreeView(std::string name);
    ~TreeView() override;

    // Adds a node as the last child of the node relativeKey, or as a root without one. The key must
    // be unique and the relative must exist: std::invalid_argument otherwise.
    TreeNode& Add(const std::optional<std::string>& relativeKey, const std::string& key,
                  const std::string& text, const std::string& image = {});
    // Removes every node and the selection; raises no event.
    void Clear();

    // The node with this key, or null.
    TreeNode* Node(const std::string& key) const;
    int NodeCount() const { return static_cast<int>(m_nodes.size()); }
    // Every node, in the order they were added.
    std::vector<TreeNode*> Nodes() const;
    std::vector<TreeNode*> Roots() const;

    TreeNode* SelectedNode() const { return m_selected; }
    // Selects the node and raises NodeClick with it, also when it was selected already (a click on
    // the selected node is a click). An unknown key selects nothing and returns false.
    bool SelectNode(const std::string& key);

    Event<TreeNode&> NodeClick;

  private:
    friend class TreeNode;
    void NodeChanged() { RaiseChanged(); }

    std::vector<std::unique_ptr<TreeNode>> m_nodes;
    TreeNode* m_selected = nullptr;
};

}  // namespace zd
