#pragma once

class QProcess;

// Makes the child that process starts end when this process ends in any way,
// a hard kill included. Call before start. The kernel ties the child to the
// starting thread: start it from a thread that lives as long as the process.
void endWithParent(QProcess& process);
