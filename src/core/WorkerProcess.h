#pragma once

class QProcess;

// Makes the child that process starts end when this process ends in any way,
// a hard kill included. Call before start.
void endWithParent(QProcess& process);
