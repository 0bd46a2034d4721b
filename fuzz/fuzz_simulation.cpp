// Reads arbitrary bytes as a project file and drops its bodies into the physics
// preview's world with the shipped exporters' parameters: whatever a project
// holds (coordinates, anchors, densities, filters), the engine is never handed
// a shape or a value it stops the program on.

#include "elementlistmodel.h"
#include "error.h"
#include "exporterregistry.h"
#include "physicsworld.h"
#include "projectinput.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString input = ProjectInput::write(data, size);
    static const bool scanned = (ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters")), true);
    Q_UNUSED(scanned)

    ElementListModel document;
    try {
        if (!document.load(input))
            return 0;
    } catch (const Error&) {
        return 0;
    }
    PhysicsWorld world(PreviewBody::fromElements(document.elements()));
    for (int i = 0; i < world.bodyCount(); ++i) {
        if (world.grab(world.position(i)))
            world.dragTo(world.position(i) + QPointF(1, 1));
    }
    world.throwBall(world.arena().center(), QPointF(1, -1));
    world.setGravity(-3);
    for (int i = 0; i < 30; ++i)
        world.step();
    world.release();
    return 0;
}
