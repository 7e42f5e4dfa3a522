-- The smallest content that shows something: a pyramid from the models set
-- shapes.xml, lit by the set's sun and seen through its camera, and a line
-- of text over the view. The player runs this file, then calls startup().

function startup()
  local scene = newScene()
  local models = newModelsSet("shapes.xml")

  -- Objects of a models set are templates: copy them into the scene.
  newMesh(scene, models:get("pyramid"))
  local sun = newLamp(scene, models:get("sun"))
  sun:setAmbientColor(color(0.3, 0.3, 0.3, 1))  -- faces turned away are not black

  -- A viewport over the whole window; without a camera it draws nothing.
  local view = newViewport(0, 0, 1, getAspectRatio())
  view:setCamera(newCamera(scene, models:get("eye")))
  view:setBackgroundColor(color(0.12, 0.16, 0.24, 1))

  -- Texts are placed in viewport widths from the top left, y downwards; the
  -- position is the start of the baseline.
  local title = newText(scene)
  title:setText("Hello from docs/example")
  title:setSize(0.05)
  title:setColor(color(1, 1, 1, 1))
  title:setPosition(v3(0.04, 0.08, 0))

  io.write("example ready")
end
